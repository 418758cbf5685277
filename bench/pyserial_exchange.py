#!/usr/bin/python3
"""The exchanges a user would otherwise script with pyserial.

usage: pyserial_exchange.py DEVICE FRAME...   (frames without their CR)
Sends each frame with a carriage return and reads its reply up to the
line feed, as tarvo does; exits 1 if a reply does not end in a line feed.
"""
import sys

import serial

port = serial.Serial(sys.argv[1], 9600, bytesize=8, parity="N", stopbits=1,
                     timeout=10.1)
for frame in sys.argv[2:]:
    port.reset_input_buffer()
    port.write(frame.encode("ascii") + b"\r")
    reply = port.read_until(b"\n", 20)
    if not reply.endswith(b"\n"):
        sys.exit(1)
port.close()
