#!/usr/bin/env python3
"""Test imaging web server: serves a client folder to the loader over 127.0.0.1.

The folder holds what the loader asks for:

    CLIENTDIR/HalWebClient64/...      client files (64-bit); HalWebClient/... for 32-bit
    CLIENTDIR/WinLauncher/SkiffApp64.zip   the loader archive (and SkiffApp.zip)

Requests answered:

    POST /HalWebServer/HalWebServer.dll?PatchClientEx   the file-list document
    GET  /<any file below CLIENTDIR>                    the file's bytes (Range: 206)

By hand:  python3 tools/imaging_server.py --root CLIENTDIR --port 8080
For tests: python3 tools/imaging_server.py --root DIR --exec COMMAND ARGS...
    starts the servers on free ports, runs COMMAND with HALCYON_HTTP_PORT,
    HALCYON_HTTPS_PORT and HALCYON_SERVER_ROOT set, stops everything when it ends and
    exits with its status.

--fail-file PATH=STATUS|reset fails one file; --proxy-drop-first N resets the first N
proxied requests. Behaviour switches apply to every reply; a test can also give them for one request with a
first path segment "/~name=value,name,.../" (same names without the dashes, e.g.
"/~gzip,status=404/HalWebClient64/a.dll"). "GET /~last" returns the previous request
(request line, headers, blank line, body) so tests can check what was sent.
"""

import argparse
import base64
import email.utils
import gzip
import http.client
import http.server
import os
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from xml.sax.saxutils import quoteattr

LOOPBACK = "127.0.0.1"
FILE_LIST_PATH = "/HalWebServer/HalWebServer.dll"
OPTION_NAMES = {"gzip", "status", "nolength", "chunked", "cut", "slow", "auth", "proxyauth",
                "type", "piece"}


def parse_options(text):
    """'gzip,status=404' -> {'gzip': '', 'status': '404'}; unknown names are an error."""
    options = {}
    for item in filter(None, text.split(",")):
        name, _, value = item.partition("=")
        if name not in OPTION_NAMES:
            raise ValueError("unknown option " + name)
        options[name] = urllib.parse.unquote(value)
    return options


def file_list_document(root, settings):
    """The file-list document for the client folder below root."""
    folder64 = os.path.join(root, "HalWebClient64")
    is64 = os.path.isdir(folder64)
    folder = folder64 if is64 else os.path.join(root, "HalWebClient")
    entries = []
    if os.path.isdir(folder):
        for base, dirs, files in os.walk(folder):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(base, name)
                info = os.stat(path)
                stamp = time.strftime("%d/%m/%Y %H:%M:%S", time.localtime(info.st_mtime))
                relative = os.path.relpath(path, folder).replace(os.sep, "/")
                entries.append("  <PatchFileEntry filename=%s lastWriteTime=%s filesize=%s/>"
                               % (quoteattr(relative), quoteattr(stamp),
                                  quoteattr(str(info.st_size & 0xFFFFFFFF))))
    attributes = [("serverVersion", settings.server_version),
                  ("loaderVersion", settings.loader_version),
                  ("clientFiles64bit", "true" if is64 else "false"),
                  ("infoMsg", settings.info_msg), ("errorMsg", settings.error_msg)]
    head = " ".join("%s=%s" % (name, quoteattr(value)) for name, value in attributes)
    return ("<PatchFilesList %s>\n%s\n</PatchFilesList>\n" % (head, "\n".join(entries))).encode()


def make_certificate(folder):
    """A self-signed certificate for 127.0.0.1, made with openssl; returns (cert, key)."""
    cert, key = os.path.join(folder, "server.crt"), os.path.join(folder, "server.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # keep-alive
    server_version = "HalcyonTestServer/1.0"

    def setup(self):
        super().setup()
        # Small replies must not wait for delayed acknowledgements.
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def log_message(self, fmt, *args):
        if not self.server.settings.quiet:
            sys.stderr.write("imaging_server: %s\n" % (fmt % args))

    # -- request handling --------------------------------------------------------------------

    def do_GET(self):
        self.handle_request(b"")

    def do_HEAD(self):
        self.handle_request(b"")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.handle_request(self.rfile.read(length) if length else b"")

    def handle_request(self, body):
        settings = self.server.settings
        target = self.path
        is_proxy_request = target.startswith("http://") or target.startswith("https://")
        if is_proxy_request:
            path, query = urllib.parse.urlsplit(target).path, urllib.parse.urlsplit(target).query
        else:
            path, _, query = target.partition("?")
        options = dict(settings.options)
        first, _, rest = path.lstrip("/").partition("/")
        if first.startswith("~") and first != "~last":
            try:
                options.update(parse_options(urllib.parse.unquote(first[1:])))
            except ValueError as error:
                return self.reply(400, str(error).encode(), {})
            path = "/" + rest
        if path == "/~last":
            return self.reply(200, self.server.shared.last_request, {})
        self.server.shared.last_request = self.describe(body)

        if is_proxy_request:
            if self.server.shared.take_proxy_drop(settings.proxy_drop_first):
                return self.reset_connection()
            if not self.authorised("Proxy-Authorization", options.get("proxyauth")):
                return self.reply(407, b"Proxy authentication required\n",
                                  {"Proxy-Authenticate": 'Basic realm="Halcyon proxy"'})
            return self.forward(target, body)
        if not self.authorised("Authorization", options.get("auth")):
            return self.reply(401, b"Authentication required\n",
                              {"WWW-Authenticate": 'Basic realm="Halcyon"'}, options)

        if self.command == "POST" and path == FILE_LIST_PATH and query == "PatchClientEx":
            data = file_list_document(settings.root, settings)
            self.reply(int(options.get("status", 200)), data,
                       {"Content-Type": options.get("type", "text/xml")}, options)
            if settings.list_time:
                with open(settings.list_time, "w") as out:
                    out.write("%.6f\n" % time.time())
            return None
        if self.command == "POST":
            return self.reply(404, b"No such service\n", {}, options)
        failure = settings.fail_files.get(urllib.parse.unquote(path).lstrip("/"))
        if failure == "reset":
            return self.reset_connection()
        if failure:
            return self.reply(int(failure), b"Server failure\n", {}, options)
        options.update(settings.file_options)
        return self.send_file(path, options)

    def reset_connection(self):
        """Ends the connection at once with a reset, as a crashed server or proxy would: the
        descriptor is closed here (closing the socket object would wait for its files, and
        the server would end the connection politely first)."""
        self.log_message('"%s" answered with a reset', self.requestline)
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.close_connection = True
        os.close(self.connection.detach())

    def authorised(self, header, credentials):
        if not credentials:
            return True
        expected = "Basic " + base64.b64encode(credentials.encode()).decode()
        return self.headers.get(header, "") == expected

    def describe(self, body):
        lines = [self.requestline] + ["%s: %s" % item for item in self.headers.items()]
        return ("\r\n".join(lines) + "\r\n\r\n").encode() + body

    def send_file(self, path, options):
        root = self.server.settings.root
        relative = urllib.parse.unquote(path).lstrip("/")
        full = os.path.realpath(os.path.join(root, relative))
        if not (full.startswith(root + os.sep) and os.path.isfile(full)):
            return self.reply(404, b"Not found: " + path.encode() + b"\n", {}, options)
        size = os.path.getsize(full)
        status, start, end = int(options.get("status", 200)), 0, size
        headers = {"Content-Type": options.get("type", "application/octet-stream"),
                   "Last-Modified": email.utils.formatdate(os.path.getmtime(full), usegmt=True)}
        byte_range = self.headers.get("Range", "")
        if byte_range.startswith("bytes=") and "status" not in options:
            first, _, last = byte_range[6:].partition("-")
            start = int(first or 0)
            end = min(size, int(last) + 1) if last else size
            if start >= size:
                return self.reply(416, b"", {"Content-Range": "bytes */%d" % size}, options)
            status = 206
            headers["Content-Range"] = "bytes %d-%d/%d" % (start, end - 1, size)
        with open(full, "rb") as source:
            source.seek(start)
            if options.keys() & {"gzip", "chunked", "cut", "slow"} or start or end != size:
                return self.reply(status, source.read(end - start), headers, options)
            # Whole file, no shaping: let the kernel copy it.
            self.send_response(status)
            for name, value in headers.items():
                self.send_header(name, value)
            if "nolength" in options:
                self.send_header("Connection", "close")
                self.close_connection = True
            else:
                self.send_header("Content-Length", str(size))
            self.end_headers()
            if self.command != "HEAD":
                self.wfile.flush()
                self.connection.sendfile(source)

    def forward(self, target, body):
        """Forward proxy for targets on this machine's loopback address only."""
        parts = urllib.parse.urlsplit(target)
        if parts.hostname not in (LOOPBACK, "localhost"):
            return self.reply(403, b"Only 127.0.0.1 is served\n", {})
        connection = http.client.HTTPConnection(LOOPBACK, parts.port or 80, timeout=60)
        headers = {name: value for name, value in self.headers.items()
                   if name.lower() not in ("proxy-authorization", "proxy-connection",
                                           "connection", "keep-alive")}
        path = parts.path + ("?" + parts.query if parts.query else "")
        try:
            connection.request(self.command, path, body=body or None, headers=headers)
            answer = connection.getresponse()
            data = answer.read()
        except OSError as error:
            return self.reply(502, str(error).encode(), {})
        finally:
            connection.close()
        passed = {name: value for name, value in answer.getheaders()
                  if name.lower() not in ("content-length", "transfer-encoding", "connection",
                                          "date", "server")}
        self.reply(answer.status, data, passed)

    def reply(self, status, data, headers, options=None):
        """Sends one reply shaped by the options (gzip, chunked, cut, slow, nolength)."""
        options = options or {}
        if "gzip" in options:
            data = gzip.compress(data)
            headers["Content-Encoding"] = "gzip"
        self.send_response(status)
        for name, value in headers.items():
            self.send_header(name, value)
        chunked = "chunked" in options
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        elif "nolength" in options:
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(len(data)))
        if "cut" in options:
            data = data[:int(options["cut"])]
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command == "HEAD":
            return
        piece = int(options.get("piece", 4096))
        delay = int(options.get("slow", 0)) / 1000.0
        try:
            for offset in range(0, len(data), piece):
                chunk = data[offset:offset + piece]
                if chunked:
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
                else:
                    self.wfile.write(chunk)
                if delay:
                    self.wfile.flush()
                    time.sleep(delay)
            if chunked:
                self.wfile.write(b"0\r\n\r\n")
            self.wfile.flush()
        except OSError:
            self.close_connection = True  # the client went away (an aborted download)


class Shared:
    last_request = b""
    proxy_drops = 0
    lock = threading.Lock()

    def take_proxy_drop(self, limit):
        """Whether this proxied request is one of the first ones to drop."""
        with self.lock:
            if self.proxy_drops >= limit:
                return False
            self.proxy_drops += 1
            return True


def run_command(command, env, timeout):
    """Runs command with its output passed on through a pipe of our own: background
    programs it leaves behind (Wine's services) then hold that pipe, not our caller's."""
    child = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def copy():
        for block in iter(lambda: child.stdout.read1(65536), b""):
            sys.stdout.buffer.write(block)
            sys.stdout.buffer.flush()

    copier = threading.Thread(target=copy, daemon=True)
    copier.start()
    try:
        status = child.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        child.kill()
        child.wait()
        print("imaging_server: the command was stopped after %g s" % timeout, file=sys.stderr)
        status = 1
    copier.join(timeout=2)
    return status


def make_server(port, settings, shared, context=None):
    server = http.server.ThreadingHTTPServer((LOOPBACK, port), Handler)
    server.daemon_threads = True
    server.settings, server.shared = settings, shared
    if context:
        server.socket = context.wrap_socket(server.socket, server_side=True)
    return server


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--root", required=True, help="client folder to serve")
    parser.add_argument("--port", type=int, default=0, help="http port (0: a free one)")
    parser.add_argument("--https", action="store_true",
                        help="also serve https with a self-signed certificate made by openssl")
    parser.add_argument("--https-port", type=int, default=0, help="https port (0: a free one)")
    parser.add_argument("--server-version", default="1.0.0")
    parser.add_argument("--loader-version", default="4.0")
    parser.add_argument("--info-msg", default="")
    parser.add_argument("--error-msg", default="")
    parser.add_argument("--gzip", action="store_true", help="gzip-encode every reply")
    parser.add_argument("--status", type=int, help="answer with this status code")
    parser.add_argument("--no-length", action="store_true", help="no Content-Length")
    parser.add_argument("--chunked", action="store_true", help="chunked replies")
    parser.add_argument("--cut", type=int, help="cut every body off after N bytes")
    parser.add_argument("--slow", type=int, help="pause MS milliseconds after each piece")
    parser.add_argument("--auth", metavar="USER:PASSWORD", help="demand Basic authentication")
    parser.add_argument("--proxy-auth", metavar="USER:PASSWORD",
                        help="as a forward proxy, demand Basic Proxy-Authorization")
    parser.add_argument("--file-options", default="", metavar="OPTIONS",
                        help="options for file replies only, as in a path prefix: cut=1000")
    parser.add_argument("--fail-file", action="append", default=[], metavar="PATH=STATUS",
                        help="answer the GET of that file (relative to the root) with a status "
                             "code, or 'reset' the connection")
    parser.add_argument("--proxy-drop-first", type=int, default=0, metavar="N",
                        help="as a forward proxy, reset the connection of the first N requests")
    parser.add_argument("--list-time", metavar="FILE",
                        help="write the time (seconds since 1970) the file list was sent to FILE")
    parser.add_argument("--lifetime", type=float, default=0,
                        help="stop after this many seconds (0: run until interrupted)")
    parser.add_argument("--quiet", action="store_true", help="no request log")
    parser.add_argument("--exec", nargs=argparse.REMAINDER, dest="command",
                        help="run a command against the servers, then stop")
    parser.add_argument("--exec-timeout", type=float, default=280,
                        help="seconds after which the command is killed")
    settings = parser.parse_args()
    settings.root = os.path.realpath(settings.root)
    if not os.path.isdir(settings.root):
        parser.error("no folder " + settings.root)
    settings.options = {}
    try:
        settings.file_options = parse_options(settings.file_options)
    except ValueError as error:
        parser.error(str(error))
    settings.fail_files = {}
    for item in settings.fail_file:
        name, _, action = item.rpartition("=")
        if not name or not (action == "reset" or action.isdigit()):
            parser.error("--fail-file wants PATH=STATUS or PATH=reset: " + item)
        settings.fail_files[name] = action
    for name, value in (("gzip", settings.gzip), ("status", settings.status),
                        ("nolength", settings.no_length), ("chunked", settings.chunked),
                        ("cut", settings.cut), ("slow", settings.slow),
                        ("auth", settings.auth), ("proxyauth", settings.proxy_auth)):
        if value not in (None, False):
            settings.options[name] = "" if value is True else str(value)

    shared = Shared()
    servers = [make_server(settings.port, settings, shared)]
    with tempfile.TemporaryDirectory(prefix="imaging_server_") as folder:
        if settings.https:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*make_certificate(folder))
            servers.append(make_server(settings.https_port, settings, shared, context))
        for server in servers:
            threading.Thread(target=server.serve_forever, daemon=True).start()
        ports = [server.server_address[1] for server in servers]
        env = dict(os.environ, HALCYON_HTTP_PORT=str(ports[0]),
                   HALCYON_HTTPS_PORT=str(ports[1] if len(ports) > 1 else ""),
                   HALCYON_SERVER_ROOT=settings.root)
        if not settings.quiet or not settings.command:
            print("imaging_server: serving %s on http://%s:%d/%s" % (
                settings.root, LOOPBACK, ports[0],
                " and https://%s:%d/" % (LOOPBACK, ports[1]) if len(ports) > 1 else ""),
                flush=True)
        try:
            if settings.command:
                return run_command(settings.command, env, settings.exec_timeout)
            deadline = time.monotonic() + settings.lifetime
            while not settings.lifetime or time.monotonic() < deadline:
                time.sleep(0.2)
        except KeyboardInterrupt:
            pass
        finally:
            for server in servers:
                server.shutdown()
                server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
