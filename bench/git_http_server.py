#!/usr/bin/env python3
"""Serves the bare repositories below ROOT over git's smart HTTP protocol on 127.0.0.1:PORT,
at http://127.0.0.1:PORT/cgi-bin/git/NAME.git, through `git http-backend` (for benchmarks and
manual checks; this machine only).   usage: git_http_server.py ROOT PORT"""
import http.server
import os
import subprocess
import sys
import tempfile

root, port = os.path.abspath(sys.argv[1]), int(sys.argv[2])
cgi = tempfile.mkdtemp(prefix="git-http-server-")
os.chmod(cgi, 0o755)
os.mkdir(os.path.join(cgi, "cgi-bin"))
backend = os.path.join(subprocess.check_output(["git", "--exec-path"], text=True).strip(), "git-http-backend")
os.symlink(backend, os.path.join(cgi, "cgi-bin", "git"))
os.environ.update({
    "GIT_PROJECT_ROOT": root,
    "GIT_HTTP_EXPORT_ALL": "1",
    # The CGI may run as another user (nobody, under root): it must accept our files.
    "GIT_CONFIG_COUNT": "1", "GIT_CONFIG_KEY_0": "safe.directory", "GIT_CONFIG_VALUE_0": "*",
})
os.chdir(cgi)


class Handler(http.server.CGIHTTPRequestHandler):
    # git compresses large requests and asks for protocol v2 in headers that the stock
    # CGI handler does not pass on.
    def run_cgi(self):
        for header, name in (("Content-Encoding", "HTTP_CONTENT_ENCODING"), ("Git-Protocol", "GIT_PROTOCOL")):
            value = self.headers.get(header)
            if value:
                os.environ[name] = value
            else:
                os.environ.pop(name, None)
        super().run_cgi()

    def log_message(self, *args):
        pass


http.server.ThreadingHTTPServer.allow_reuse_address = True
http.server.HTTPServer(("127.0.0.1", port), Handler).serve_forever()
