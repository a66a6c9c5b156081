"""The far end of the page's serial double: a WebSocket server (the few
parts of RFC 6455 a browser's client needs) that carries each connection's
bytes to and from a pseudo-terminal, as a serial adapter carries them to a
chip. A connection is one open port: its first text message "open RATE"
opens the device at that rate, binary messages are bytes to send, and the
device's bytes come back as binary messages. Runs on a thread of its own."""
import asyncio
import base64
import hashlib
import os
import struct
import termios
import threading
import tty

GUID = b"258EAFA5-E914-47DA-95CA-C5AB0DC85B11"
SPEEDS = {9600: termios.B9600, 19200: termios.B19200, 38400: termios.B38400}


async def read_frame(reader):
    head = await reader.readexactly(2)
    opcode, length = head[0] & 0x0F, head[1] & 0x7F
    if length == 126:
        length = struct.unpack(">H", await reader.readexactly(2))[0]
    elif length == 127:
        length = struct.unpack(">Q", await reader.readexactly(8))[0]
    mask = await reader.readexactly(4) if head[1] & 0x80 else b"\0\0\0\0"
    data = bytearray(await reader.readexactly(length))
    for i in range(length):
        data[i] ^= mask[i % 4]
    return opcode, bytes(data)


def frame(opcode, data):
    n = len(data)
    if n < 126:
        head = struct.pack(">BB", 0x80 | opcode, n)
    elif n < 65536:
        head = struct.pack(">BBH", 0x80 | opcode, 126, n)
    else:
        head = struct.pack(">BBQ", 0x80 | opcode, 127, n)
    return head + data


def open_device(device, rate):
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    tty.setraw(fd)
    attrs = termios.tcgetattr(fd)
    attrs[4] = attrs[5] = SPEEDS[rate]
    termios.tcsetattr(fd, termios.TCSANOW, attrs)
    termios.tcflush(fd, termios.TCIFLUSH)  # stale replies, as the console drops them
    return fd


class Bridge:
    def __init__(self, device):
        self.device = device
        self.opens = []  # the rate of every open, in order
        self.connections = set()
        self.loop = asyncio.new_event_loop()
        ready = threading.Event()
        threading.Thread(target=self._run, args=(ready,), daemon=True).start()
        ready.wait(10)

    def _run(self, ready):
        asyncio.set_event_loop(self.loop)
        server = self.loop.run_until_complete(
            asyncio.start_server(self._serve, "127.0.0.1", 0))
        self.port = server.sockets[0].getsockname()[1]
        ready.set()
        self.loop.run_forever()

    def drop_all(self):
        """Ends every connection: the adapter pulled out."""
        def drop():
            for writer in list(self.connections):
                writer.transport.abort()
        self.loop.call_soon_threadsafe(drop)

    async def _serve(self, reader, writer):
        fd = None
        try:
            request = await reader.readuntil(b"\r\n\r\n")
            key = next(line.split(b":", 1)[1].strip() for line in request.split(b"\r\n")
                       if line.lower().startswith(b"sec-websocket-key:"))
            accept = base64.b64encode(hashlib.sha1(key + GUID).digest())
            writer.write(b"HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                         b"Connection: Upgrade\r\nSec-WebSocket-Accept: " + accept + b"\r\n\r\n")
            self.connections.add(writer)
            while True:
                opcode, data = await read_frame(reader)
                if opcode == 8:
                    break
                if opcode == 1 and data.startswith(b"open "):
                    rate = int(data.split()[1])
                    fd = open_device(self.device, rate)
                    self.opens.append(rate)
                    self.loop.add_reader(fd, self._relay, fd, writer)
                    writer.write(frame(1, b"opened"))
                elif opcode == 2 and fd is not None:
                    os.write(fd, data)
                elif opcode == 9:
                    writer.write(frame(10, data))
        except (asyncio.IncompleteReadError, ConnectionError, StopIteration):
            pass
        finally:
            self.connections.discard(writer)
            if fd is not None:
                self.loop.remove_reader(fd)
                os.close(fd)
            writer.close()

    def _relay(self, fd, writer):
        try:
            data = os.read(fd, 4096)
        except BlockingIOError:
            return
        except OSError:
            data = b""
        if data:
            writer.write(frame(2, data))
