#!/usr/bin/env python3
"""Writes the fuzzers' seed corpora: lines captured from lanterra-sim (plain
TCP) and the protocol's own error cases. Usage:
    fuzz/capture-seeds.py <path to lanterra-sim> <corpus dir>
"""
import os, socket, subprocess, sys, time

sim, out = sys.argv[1], sys.argv[2]
port = 11093
proc = subprocess.Popen([sim, "--port", str(port), "--no-tls", "--cars", "6", "--elapsed", "900", "--duration", "1800", "--speed", "20"],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    time.sleep(1.0)
    s = socket.create_connection(("127.0.0.1", port))
    login = ('LOGIN:::{"app":"seed","app_ver":"1","password":"demo","protocol":"V2","protocol_ver":"1.0.0","user":"demo"}\r\n')
    s.sendall(login.encode())
    for i, ch in enumerate(["weather", "signalling", "raceControl.messages", "timing.session", "timing.analysis", "positioning.track"]):
        s.sendall(f"JOIN:{i}:{ch}:\r\n".encode())
    s.settimeout(0.5)
    data = b""
    end = time.time() + 4
    while time.time() < end:
        try:
            chunk = s.recv(1 << 20)
            if not chunk:
                break
            data += chunk
        except socket.timeout:
            pass
    s.sendall(b"PING:9::\r\nTIME:10::\r\nLEAVE:11:weather:\r\n")
    s.close()
finally:
    proc.terminate()
    proc.wait()

lines = [l for l in data.split(b"\r\n") if l]
small = [l for l in lines if len(l) < 8192][:40]
errors = [b"LOGIN:5::{", b"JSON:1::[1,2]", b"JSON:1::{\"a\":", b"JOIN", b"::::", b"JSON:1::" + b"[" * 600 + b"]" * 600,
          b"ERROR:3::{\"reason\":\"Unknown command\"}", b"CMD:4:reset:{\"data\":\"{}\",\"name\":\"x\"}", b"ACK:7+::",
          b"JSON:2::{\"timing\":{\"a\":null,\"b\":[1,{\"c\":2},null]}}", b"LOGIN:1+::{\"name\":\"S\",\"ver\":\"1.0.0\",\"min_ver\":\"1.0.0\",\"pingRate\":5,\"timeout\":40}"]
requests = [login.encode().strip(), b"JOIN:1:weather:", b"JOIN:2:timing.session:", b"LEAVE:3:weather:", b"PING:4::", b"TIME:5::",
            b"CMD:6:reset:{\"data\":\"{}\",\"name\":\"x\"}", b"JSON:7::{\"weather\":{\"air\":1}}", b"REPLY:8:x:{}", b"ACK:9+::"]
team_login = b'LOGIN:1::{"app":"a","app_ver":"1","password":"pw","protocol":"V2","protocol_ver":"1.0.0","user":"team"}'

def write(target, name, content):
    os.makedirs(os.path.join(out, target), exist_ok=True)
    with open(os.path.join(out, target, name), "wb") as f:
        f.write(content)

for i, l in enumerate(small + errors):
    write("fuzz_message", f"line{i:03}", l)
client_reply = b'LOGIN:+::{"min_ver":"1.0.0","name":"S","pingRate":20,"timeout":40,"ver":"1.0.0"}\r\n'
for i, l in enumerate(small + errors):
    write("fuzz_clientlines", f"line{i:03}", client_reply + b"JOIN:1+:weather:\r\n" + l + b"\r\n")
write("fuzz_clientlines", "session", b"\r\n".join([l for l in lines if len(l) < 2048][:20]) + b"\r\n")
for i, r in enumerate(requests + errors):
    write("fuzz_serverrequests", f"req{i:03}", b"\x00" + team_login + b"\r\n" + r + b"\r\n")
    write("fuzz_serverrequests", f"full{i:03}", b"\x01" + r + b"\r\n")
jsons = [l.split(b"::", 1)[1] for l in small if l.startswith(b"JSON:") and b"::" in l]
for i in range(min(20, len(jsons) - 1)):
    write("fuzz_datamerge", f"pair{i:03}", jsons[i] + b"\n" + jsons[i + 1])
write("fuzz_datamerge", "lists", b'{"a":[1,2,{"b":3}],"c":null}\n{"a":[1],"d":{"e":"f"}}')
print(f"{len(lines)} lines captured")
