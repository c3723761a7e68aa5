#pragma once

// The program's pictures and style sheets live in its static library; the
// linker keeps them only when something refers to them. Everything that
// shows them calls this first (once is enough; more calls do nothing).
namespace ProgramResources {

void init();

} // namespace ProgramResources
