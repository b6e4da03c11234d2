#!/usr/bin/env python3
"""Serves a built web site (build-web/site) to this machine only.

    scripts/serve.py [--port N] [--bind ADDRESS] SITE

Files only: a folder gives its index.html or 404, never a listing. Each file
goes out with its type, compressed when the browser takes gzip (the FILE.gz
that scripts/web.sh writes beside it when there is one, else compressed here),
and with the headers a host of these pages should send: the pages' content
policy, no framing by other sites, no type sniffing. Prints the address it
serves at, then one line per request on stderr.
"""
import argparse
import email.utils
import gzip
import http.server
import os
import sys
import urllib.parse

TYPES = {
    ".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8",
    ".css": "text/css; charset=utf-8", ".wasm": "application/wasm", ".png": "image/png",
    ".svg": "image/svg+xml", ".smd": "text/plain; charset=utf-8", ".json": "application/json",
    ".txt": "text/plain; charset=utf-8", ".script": "text/plain; charset=utf-8",
}
# Worth compressing; the rest (PNG) already is.
COMPRESSIBLE = {".html", ".js", ".css", ".wasm", ".svg", ".smd", ".json", ".txt", ".script"}
HEADERS = {
    "Content-Security-Policy":
        "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; frame-ancestors 'none'",
    "X-Frame-Options": "DENY",
    "X-Content-Type-Options": "nosniff",
    "Referrer-Policy": "no-referrer",
    # Cross-origin isolation: the pages' clock then has its finest resolution.
    "Cross-Origin-Opener-Policy": "same-origin",
    "Cross-Origin-Embedder-Policy": "require-corp",
    # Revalidated on every load, so a rebuilt site is never served stale.
    "Cache-Control": "no-cache",
}


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "artic-serve"
    sys_version = ""
    root = "."

    def resolve(self):
        """The file a request names, inside the site, or None."""
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        if "\0" in path or "\\" in path:
            return None
        parts = [p for p in path.split("/") if p not in ("", ".")]
        if ".." in parts or any(p.startswith(".") for p in parts):
            return None
        file = os.path.join(self.root, *parts)
        if os.path.isdir(file):
            file = os.path.join(file, "index.html")
        return file if os.path.isfile(file) else None

    def send_plain(self, code, text):
        body = text.encode()
        self.send_response(code)
        for name, value in HEADERS.items():
            self.send_header(name, value)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_GET(self):
        file = self.resolve()
        if file is None:
            self.send_plain(404, "not found\n")
            return
        extension = os.path.splitext(file)[1].lower()
        stat = os.stat(file)
        modified = email.utils.formatdate(stat.st_mtime, usegmt=True)
        since = self.headers.get("If-Modified-Since")
        if since:
            try:
                if int(stat.st_mtime) <= email.utils.parsedate_to_datetime(since).timestamp():
                    self.send_response(304)
                    for name, value in HEADERS.items():
                        self.send_header(name, value)
                    self.end_headers()
                    return
            except (TypeError, ValueError, OverflowError):
                pass
        takes_gzip = "gzip" in self.headers.get("Accept-Encoding", "")
        encoded = None
        if takes_gzip and extension in COMPRESSIBLE:
            packed = file + ".gz"
            if os.path.isfile(packed) and os.stat(packed).st_mtime >= stat.st_mtime:
                with open(packed, "rb") as f:
                    encoded = f.read()
            else:
                with open(file, "rb") as f:
                    encoded = gzip.compress(f.read(), 6, mtime=0)
        if encoded is not None:
            body = encoded
        else:
            with open(file, "rb") as f:
                body = f.read()
        self.send_response(200)
        for name, value in HEADERS.items():
            self.send_header(name, value)
        self.send_header("Content-Type", TYPES.get(extension, "application/octet-stream"))
        if extension in COMPRESSIBLE:
            self.send_header("Vary", "Accept-Encoding")
        if encoded is not None:
            self.send_header("Content-Encoding", "gzip")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Last-Modified", modified)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    do_HEAD = do_GET

    def send_error(self, code, message=None, explain=None):
        self.send_plain(code, (message or "error") + "\n")


def main():
    parser = argparse.ArgumentParser(description="Serves the web site to this machine.")
    parser.add_argument("--port", type=int, default=8000, help="0: any free port")
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("site")
    args = parser.parse_args()
    if not os.path.isfile(os.path.join(args.site, "index.html")):
        sys.exit(f"serve.py: no site in {args.site} (scripts/web.sh builds it)")
    Handler.root = os.path.abspath(args.site)
    server = http.server.ThreadingHTTPServer((args.bind, args.port), Handler)
    host, port = server.server_address[:2]
    print(f"serving {args.site} at http://{host}:{port}/ (Ctrl+C stops)", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
