# The root service the probing step tries to reach: listens on a pathname
# socket, an abstract socket and 127.0.0.1 for a minute.
import socket
import time

kept = []
for family, address in ((socket.AF_UNIX, '/run/privet-probe.sock'), (socket.AF_UNIX, '\0privet-probe'),
                        (socket.AF_INET, ('127.0.0.1', 47211))):
    s = socket.socket(family)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(address)
    s.listen(8)
    kept.append(s)
time.sleep(60)
