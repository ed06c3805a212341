"""Test servers on 127.0.0.1 for the download tests and benchmarks: nginx serving a payload folder
over HTTP and HTTPS (with a throw-away certificate authority made here with openssl), and the
fault server. Nothing of the system's nginx set-up is used: the configuration, logs and
temporary folders all live in a temporary folder of the run's own.

    with Servers({"a.bin": data}) as s:
        s.url("a.bin"), s.url("a.bin", https=True), s.fault.url("/status/404")
        s.trust(prefix)   # the CA becomes trusted in that Wine prefix"""
import hashlib
import http.client
import os
import secrets
import shutil
import socket
import ssl
import struct
import subprocess
import tempfile
import time
import urllib.request
from typing import Dict, Optional

from faultserver import FaultServer

NGINX = "/usr/sbin/nginx"
OPENSSL = "openssl"


def file_entry(data: bytes) -> dict:
    """A manifest file entry describing `data`: its size and its Windows Installer file hash."""
    return {"Size": len(data), "Hash": list(struct.unpack("<4i", hashlib.md5(data).digest()))}


def file_entry_of(path: str) -> dict:
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return {"Size": os.path.getsize(path), "Hash": list(struct.unpack("<4i", digest.digest()))}


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_certificates(folder: str) -> dict:
    """A CA and a server certificate for DNS:localhost signed by it (Wine matches no IP names)."""
    def openssl(*args):
        subprocess.run([OPENSSL, *args], cwd=folder, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
            "-subj", "/CN=TevLauncher Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr",
            "-subj", "/CN=localhost")
    with open(os.path.join(folder, "server.ext"), "w") as f:
        f.write("subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\n"
                "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-out", "server.pem", "-days", "2", "-extfile", "server.ext")
    openssl("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der")
    return {name: os.path.join(folder, file) for name, file in
            (("ca_der", "ca.der"), ("cert", "server.pem"), ("key", "server.key"))}


NGINX_CONF = """\
worker_processes 1;
pid {dir}/nginx.pid;
error_log {dir}/error.log warn;
events {{ worker_connections 64; }}
http {{
  access_log {dir}/access.log;
  client_body_temp_path {dir}/tmp/body;
  proxy_temp_path {dir}/tmp/proxy;
  fastcgi_temp_path {dir}/tmp/fastcgi;
  uwsgi_temp_path {dir}/tmp/uwsgi;
  scgi_temp_path {dir}/tmp/scgi;
  default_type application/octet-stream;
  sendfile on;
  keepalive_timeout 60;
  server {{
    listen 127.0.0.1:{http_port};
    root {payload};
    # Which server answers on the port: see Nginx.answers.
    location = /.tev-server-id {{ access_log off; return 200 "{token}"; }}
    # The same files at a limited rate, for transfers that must still be running when a test acts.
    location /slow/ {{ alias {payload}/; limit_rate {slow_rate}; }}
    # The same files from another host name (the same server under the name "localhost").
    location ~ ^/to-other-host/(.*)$ {{ return 302 http://localhost:{http_port}/$1; }}
  }}
  server {{
    listen 127.0.0.1:{https_port} ssl;
    server_name localhost;
    ssl_certificate {cert};
    ssl_certificate_key {key};
    root {payload};
    location = /.tev-server-id {{ access_log off; return 200 "{token}"; }}
    # A way from HTTPS down to plain HTTP.
    location ~ ^/to-http/(.*)$ {{ return 302 http://127.0.0.1:{http_port}/$1; }}
  }}
}}
"""


class Nginx:
    def __init__(self, folder: str, payload: str, certificates: dict, slow_rate: str = "8m"):
        self.folder = folder
        os.makedirs(os.path.join(folder, "tmp"), exist_ok=True)
        # A free port can be taken by another suite's server between the look and nginx's bind, and a
        # port that answers may then be that other server: a start counts only when both ports
        # answer with this server's own token.
        self.token = secrets.token_hex(8)
        for attempt in range(10):
            self.http_port, self.https_port = free_port(), free_port()
            conf = os.path.join(folder, "nginx.conf")
            with open(conf, "w") as f:
                f.write(NGINX_CONF.format(dir=folder, payload=payload, http_port=self.http_port,
                                          https_port=self.https_port, slow_rate=slow_rate, token=self.token,
                                          **certificates))
            self.proc = subprocess.Popen([NGINX, "-p", folder, "-c", conf, "-e", os.path.join(folder, "error.log"),
                                          "-g", "daemon off;"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            if self.answers(f"http://127.0.0.1:{self.http_port}") and \
                    self.answers(f"https://127.0.0.1:{self.https_port}"):
                return
            self.stop()
        raise RuntimeError("nginx did not start: " + self.error_log())

    def answers(self, base: str, seconds: float = 10) -> bool:
        """Whether this nginx, still running, serves `base`."""
        insecure = ssl.create_default_context()
        insecure.check_hostname, insecure.verify_mode = False, ssl.CERT_NONE
        # Straight to the loopback, whatever proxy the environment names.
        opener = urllib.request.build_opener(urllib.request.ProxyHandler({}), urllib.request.HTTPSHandler(context=insecure))
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and self.proc.poll() is None:
            try:
                with opener.open(base + "/.tev-server-id", timeout=2) as answer:
                    return answer.read().decode() == self.token and self.proc.poll() is None
            except (OSError, http.client.HTTPException):
                time.sleep(0.05)
        return False

    def error_log(self) -> str:
        path = os.path.join(self.folder, "error.log")
        return open(path, errors="replace").read() if os.path.exists(path) else ""

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Servers:
    """nginx (HTTP and HTTPS) over a payload folder, and the fault server."""

    def __init__(self, payloads: Optional[Dict[str, bytes]] = None, slow_rate: str = "8m"):
        self.folder = tempfile.mkdtemp(prefix="tevservers-")
        # nginx's workers run as nobody when started by root: they must be able to read the payloads.
        os.chmod(self.folder, 0o755)
        self.payload = os.path.join(self.folder, "payload")
        os.makedirs(self.payload)
        for name, data in (payloads or {}).items():
            self.add(name, data)
        self.certificates = make_certificates(self.folder)
        self.nginx = Nginx(self.folder, self.payload, self.certificates, slow_rate)
        self.fault = FaultServer()

    def add(self, name: str, data: bytes) -> str:
        path = os.path.join(self.payload, name)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, 0o644)
        return path

    def url(self, name: str, https: bool = False) -> str:
        if https:
            return f"https://localhost:{self.nginx.https_port}/{name}"
        return f"http://127.0.0.1:{self.nginx.http_port}/{name}"

    def trust(self, prefix, build: str) -> None:
        """Makes the CA trusted in `prefix` (a tevharness.Prefix), through testing/trustca.exe."""
        tool = os.path.join(build, "testing", "trustca.exe")
        proc = prefix.wine([tool, "Z:" + self.certificates["ca_der"].replace("/", "\\")], stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if proc.returncode != 0:
            raise RuntimeError(f"trustca exit {proc.returncode}: {proc.stderr.decode(errors='replace')}")

    def close(self):
        self.fault.close()
        self.nginx.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
