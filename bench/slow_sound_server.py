#!/usr/bin/env python3
"""A sound server that answers late: a proxy in front of a real one.

Listens on a Unix socket and passes every connection through to the real server's socket;
whatever the server sends reaches the client only after the delay, in order. Clients must not
use shared memory (it needs file descriptors the proxy does not pass): give them a client.conf
with "enable-shm = no" and "enable-memfd = no" (PULSE_CLIENTCONFIG).

    slow_sound_server.py LISTEN_SOCKET SERVER_SOCKET [--delay SECONDS]
"""

import argparse
import asyncio
import os
import sys


async def pipe(reader, writer, delay):
    """Copies reader to writer, each chunk `delay` seconds after it came, in order."""
    loop = asyncio.get_running_loop()
    pending = asyncio.Queue()

    async def deliver():
        while True:
            due, chunk = await pending.get()
            if chunk is None:
                break
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(chunk)
            await writer.drain()
        writer.close()

    sender = asyncio.create_task(deliver())
    try:
        while chunk := await reader.read(65536):
            await pending.put((loop.time() + delay, chunk))
    except ConnectionError:
        pass
    await pending.put((0, None))
    try:
        await sender
    except ConnectionError:
        pass


async def serve(listen, server, delay):
    async def connected(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_unix_connection(server)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer, 0.0),
                             pipe(server_reader, client_writer, delay))

    if os.path.exists(listen):
        os.unlink(listen)
    proxy = await asyncio.start_unix_server(connected, path=listen)
    print(f"unix:{listen}", flush=True)
    async with proxy:
        await proxy.serve_forever()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("listen")
    parser.add_argument("server")
    parser.add_argument("--delay", type=float, default=0.8)
    arguments = parser.parse_args()
    try:
        asyncio.run(serve(arguments.listen, arguments.server, arguments.delay))
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
