#pragma once

#include <QString>

class V2_Data;

// Tree work shared by the relay's roles: what a data line changed, and a
// channel's content as a joining seat gets it.
namespace RelayTree {

// An empty root node (the caller owns it).
V2_Data* newRoot();

// Lays the deletion markers of deleted (a client's record of a line's
// deletions) over change.
void addDeletions(V2_Data* change, const V2_Data* deleted);

// The wire carries a node's path flag as an "ignorePath" member, which a
// client turns into the flag alone: seats get the member back.
void restorePathFlags(V2_Data* node);

// A root holding a copy of source's channel node at its path, flags
// restored; null when source has no such node.
V2_Data* channelCopy(const V2_Data* source, const QString& channel);

} // namespace RelayTree
