#!/usr/bin/env python3
"""Drives `plovanctl serve` with clients nobody here wrote: PyVISA (pure-Python
backend) and, where installed, lxi-tools. Usage: pyvisa_client.py PLOVANCTL PLOVAN_SIM"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile

import pyvisa

plovanctl, plovan_sim = sys.argv[1], sys.argv[2]
failures = []


def check(what, ok, got=""):
    print(("ok   " if ok else "FAIL ") + what + ("" if ok else f": got {got!r}"))
    if not ok:
        failures.append(what)


def serve(settings, *unit):
    server = subprocess.Popen([plovanctl, "serve", "--listen", "127.0.0.1:0", "--settings-dir", settings, *unit],
                              stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline()
    if not line.startswith("Serving"):
        server.kill()
        sys.exit(f"serve did not start: {line!r}")
    return server, int(line.rsplit(":", 1)[1])


def stop(server, what):
    server.send_signal(signal.SIGTERM)
    check(what + " ends with status 0 on SIGTERM", server.wait(timeout=20) == 0, server.returncode)


def table(records=64):
    lines = [f"{records:05X}"] + [f"{i * 4097:09X}" for i in range(records)]
    return ("\r\n".join(lines) + "\r\n").encode()


def store_and_load(inst, name):
    inst.write_binary_values(f'MMEM:DATA "{name}",', table(), datatype="B", header_fmt="ieee")
    inst.write(f'MMEM:LOAD:IMAG "{name}"')
    opc = inst.query("*OPC?")
    return opc, inst.query("SYST:ERR?")


rm = pyvisa.ResourceManager("@py")
settings = tempfile.mkdtemp()


def open_on(port):
    return rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET", read_termination="\n",
                            write_termination="\n", timeout=15000)


server, port = serve(settings, "--sim")
try:
    a = open_on(port)
    idn = a.query("*IDN?")
    check("*IDN?", idn.startswith("Velmar,Plovan,"), idn)
    a.write("FREQ 100MHZ")
    check("*OPC? after FREQ", a.query("*OPC?") == "1")
    f = float(a.query("FREQ?"))
    check("FREQ? plays 100 MHz", abs(f - 100e6) < 1, f)
    a.write("SOUR:PHAS 90DEG;:AMPL 512")
    p = float(a.query("PHAS?"))
    check("PHAS? 90", abs(p - 90) < 0.05, p)
    check("AMPL? 512", a.query("AMPL?") == "512")
    a.write("FREQ 1GHZ")
    e = a.query("SYST:ERR?")
    check("out of range is -222", e.startswith("-222,"), e)
    a.write("BOGUS:NODE 1")
    e = a.query("SYST:ERR?")
    check("unknown header is -113", e.startswith("-113,"), e)
    check("error queue empty again", a.query("SYST:ERR?") == '0,"No error"')
    c = a.query("CHIR:CALC? 75MHZ,140MHZ,20US")
    check("CHIR:CALC? dwell, steps, step, stop", c == "6.4e-09,3125,20800,140000000", c)
    a.write('VSWR "sweep.txt"')
    opc, e = a.query("*OPC?"), a.query("SYST:ERR?")
    check("VSWR sweep waited for", opc == "1" and e == '0,"No error"', (opc, e))
    data = a.query_binary_values('MMEM:DATA? "sweep.txt"', datatype="B", container=bytes)
    check("VSWR file read back as a block", data.count(b"\n") == 26, data[:60])
    opc, e = store_and_load(a, "good.plv")
    check("MMEM:DATA + LOAD:IMAG + *OPC?", opc == "1" and e == '0,"No error"', (opc, e))

    b = open_on(port)
    b.write("AMPL 256")
    check("second client acknowledged", b.query("*OPC?") == "1")
    check("first client sees the second's setting", a.query("AMPL?") == "256")
    check("both answered in turn", a.query("*IDN?") == b.query("*IDN?"))
    b.close()

    if shutil.which("lxi"):
        out = subprocess.run(["lxi", "scpi", "-a", "127.0.0.1", "-p", str(port), "-r", "*IDN?"],
                             capture_output=True, text=True, timeout=20).stdout
        check("lxi scpi *IDN?", "Velmar,Plovan," in out, out)
    a.close()
finally:
    stop(server, "serve --sim")

# The simulator's CRC fault, over a serial line (a pseudo-terminal).
sim = subprocess.Popen([plovan_sim, "-q", "--fault", "crc-error:3"], stdout=subprocess.PIPE, text=True)
try:
    pty = sim.stdout.readline().strip()
    server, port = serve(settings, "--port", pty)
    try:
        c = open_on(port)
        opc, e = store_and_load(c, "crc.plv")
        check("CRC verdict in the error queue", opc == "1" and e.startswith(
            '-300,"Device-specific error;CRC Error. File send aborted at record 3 of 64'), (opc, e))
        c.close()
    finally:
        stop(server, "serve --port")
finally:
    sim.send_signal(signal.SIGTERM)
    sim.wait(timeout=10)

shutil.rmtree(settings, ignore_errors=True)
sys.exit(1 if failures else 0)
