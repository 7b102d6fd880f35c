#!/usr/bin/env python3
"""A small HTTP server on loopback for the upload tests: stores every raw request it receives and
answers according to the request path. Runs until killed or until --lifetime seconds have passed."""
import argparse
import os
import socket
import socketserver
import struct
import sys
import threading
import time

OK_PAGE = (b'<HTML><HEAD><TITLE>Download Job</TITLE></HEAD><BODY>'
           b'<form><input type="hidden" name="message" value=""></form></BODY></HTML>')


def page_for(path):
    """The answer bytes for a path, or None to stay silent, or b'' to close without answering."""
    if path.startswith('/ok'):
        return OK_PAGE
    if path.startswith('/message'):
        return (b'<HTML><HEAD><TITLE>Download Job</TITLE></HEAD><BODY><input type="hidden" '
                b'name="message" value="The share does not exist."></BODY></HTML>')
    if path.startswith('/title'):
        return b'<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD><BODY>no</BODY></HTML>'
    if path.startswith('/lowertitle'):
        return b'<html><head><title>401 Unauthorized</title></head></html>'
    if path.startswith('/size/'):
        n = int(path.split('/')[2])
        head = b'<TITLE>big</TITLE>'
        return (head + b'x' * max(0, n - len(head)))[:n]
    if path.startswith('/unclosed'):
        return (b'<HTML><HEAD><TITLE>Download Job</TITLE></HEAD><BODY><input type="hidden" '
                b'name="message" value="No such sh')
    if path.startswith('/close'):
        return b''
    if path.startswith('/silent'):
        return None
    return b'<HTML><HEAD><TITLE>Not Found</TITLE></HEAD></HTML>'


# Reason phrases as the tests expect them, whatever this Python's own table says.
REASONS = {200: b'OK', 201: b'Created', 413: b'Payload Too Large', 500: b'Internal Server Error'}


def status_head(status, length):
    return (b'HTTP/1.1 %d %s\r\nContent-Type: text/html\r\nContent-Length: %d\r\n'
            b'Connection: close\r\n\r\n' % (status, REASONS.get(status, b'Status'), length))


def answer_specially(sock, path, lifetime):
    """Answers that a page alone cannot make: wrong status, cut, reset, trickle. True when the
    path was one of them."""
    if path.startswith('/status/'):
        # /status/NNN/empty or /status/NNN/ok: that status with no body or the accepting page
        parts = path.split('/')
        page = b'' if parts[3] == 'empty' else OK_PAGE
        sock.sendall(status_head(int(parts[2]), len(page)) + page)
    elif path.startswith('/cut'):
        # the accepting page, 100 bytes short of what was announced, then an orderly close
        sock.sendall(status_head(200, len(OK_PAGE) + 100) + OK_PAGE)
    elif path.startswith('/reset'):
        # the same, then a reset instead of a close
        sock.sendall(status_head(200, len(OK_PAGE) + 100) + OK_PAGE)
        time.sleep(0.2)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
    elif path.startswith('/trickle-head'):
        # the status line and headers one byte every 200 ms, until the client leaves
        answer = status_head(200, len(OK_PAGE)) + OK_PAGE
        end = time.monotonic() + min(60, lifetime)
        for i in range(len(answer)):
            if time.monotonic() > end:
                break
            time.sleep(0.2)
            sock.sendall(answer[i:i + 1])
    elif path.startswith('/trickle'):
        # the accepting page one byte every 200 ms, until the client leaves
        sock.sendall(status_head(200, len(OK_PAGE)))
        end = time.monotonic() + min(60, lifetime)
        for i in range(len(OK_PAGE)):
            if time.monotonic() > end:
                break
            time.sleep(0.2)
            sock.sendall(OK_PAGE[i:i + 1])
    else:
        return False
    return True


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.settimeout(30)
        data = b''
        try:
            while b'\r\n\r\n' not in data:
                chunk = sock.recv(65536)
                if not chunk:
                    return
                data += chunk
            head, _, rest = data.partition(b'\r\n\r\n')
            length = 0
            for line in head.split(b'\r\n')[1:]:
                name, _, value = line.partition(b':')
                if name.strip().lower() == b'content-length':
                    length = int(value.strip())
            while len(rest) < length:
                chunk = sock.recv(1 << 20)
                if not chunk:
                    break
                rest += chunk
        except (socket.timeout, OSError):
            return
        raw = head + b'\r\n\r\n' + rest
        server = self.server
        with server.lock:
            server.count += 1
            name = os.path.join(server.dir, 'req-%d.bin' % server.count)
        with open(name + '.tmp', 'wb') as f:
            f.write(raw)
        os.replace(name + '.tmp', name)
        path = head.split(b'\r\n')[0].split(b' ')[1].decode('latin-1')
        try:
            if answer_specially(sock, path, server.lifetime):
                return
        except OSError:
            return
        page = page_for(path)
        if page is None:
            time.sleep(min(30, server.lifetime))
            return
        if page == b'':
            return
        answer = (b'HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n'
                  b'Connection: close\r\n\r\n' % len(page)) + page
        try:
            sock.sendall(answer)
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--dir', required=True)
    ap.add_argument('--port-file', required=True)
    ap.add_argument('--lifetime', type=float, default=600)
    args = ap.parse_args()
    srv = Server(('127.0.0.1', 0), Handler)
    srv.dir, srv.count, srv.lock, srv.lifetime = args.dir, 0, threading.Lock(), args.lifetime
    with open(args.port_file + '.tmp', 'w') as f:
        f.write(str(srv.server_address[1]))
    os.replace(args.port_file + '.tmp', args.port_file)
    threading.Timer(args.lifetime, srv.shutdown).start()
    srv.serve_forever()


if __name__ == '__main__':
    sys.exit(main())
