#!/usr/bin/env python3
"""Peak memory of kvproxy while many large cacheable answers are downloaded
at once: N browsers each fetch a different SIZE-MiB answer (Content-Length,
status 200, so every one may be stored) through kvproxy at the same time.
Prints kvproxy's peak resident size (VmHWM) and how many were stored.

Usage: bench/cache_memory_bench.py [build-dir] [--downloads N] [--size MiB]
                                   [--budget MiB]
"""
import argparse
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading


def origin_server(body):
    """A loopback origin answering every GET with the same body."""
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(128)
    head = b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: %d\r\n\r\n" % len(body)

    def serve(conn):
        with conn:
            data = b""
            while b"\r\n\r\n" not in data:
                piece = conn.recv(65536)
                if not piece:
                    return
                data += piece
            conn.sendall(head)
            conn.sendall(body)

    def accept_loop():
        while True:
            conn, _ = listener.accept()
            threading.Thread(target=serve, args=(conn,), daemon=True).start()

    threading.Thread(target=accept_loop, daemon=True).start()
    return listener.getsockname()[1]


def download(proxy_port, url, results, index):
    with socket.create_connection(("127.0.0.1", proxy_port)) as s:
        s.sendall(b"GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % url.encode())
        total = 0
        while True:
            piece = s.recv(1 << 20)
            if not piece:
                break
            total += len(piece)
        results[index] = total


def start_proxy(build, data_dir, budget):
    src = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    shutil.copytree(os.path.join(src, "data", "Template"), os.path.join(data_dir, "Template"))
    ini = os.path.join(data_dir, "kvproxy.ini")
    with open(ini, "w") as f:
        f.write("[Directories]\nbasepath=%s\n[Proxy]\nRecTimeout=60\n" % data_dir)
        if budget:
            f.write("CacheCopyBudget=%d\n" % budget)
        f.write("[Debugging]\ndebug=4096\n")
    proc = subprocess.Popen([os.path.join(build, "bin", "kvproxy"), "--config", ini, "--listen", "127.0.0.1:0"],
                            stdout=subprocess.PIPE, text=True)
    line = proc.stdout.readline()
    port = int(line.split("127.0.0.1:")[1].split()[0])
    return proc, port


def peak_kb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def sample_peak(proc, peak):
    """Keeps the last peak seen until the program has ended (the stores run
    after the downloads and while it stops)."""
    while proc.poll() is None:
        peak[0] = max(peak[0], peak_kb(proc.pid))
        threading.Event().wait(0.05)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--downloads", type=int, default=40)
    parser.add_argument("--size", type=int, default=15)
    parser.add_argument("--budget", type=int, default=0, help="CacheCopyBudget in MiB (default: the program's)")
    args = parser.parse_args()

    body = os.urandom(args.size << 20)
    origin_port = origin_server(body)
    data_dir = tempfile.mkdtemp(prefix="kvproxy-cachemem.")
    proc, port = start_proxy(os.path.abspath(args.build), data_dir, args.budget)
    try:
        idle = peak_kb(proc.pid)
        peak = [idle]
        sampler = threading.Thread(target=sample_peak, args=(proc, peak), daemon=True)
        sampler.start()
        results = [0] * args.downloads
        threads = [threading.Thread(target=download,
                                    args=(port, "http://127.0.0.1:%d/file%d" % (origin_port, i), results, i))
                   for i in range(args.downloads)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        complete = sum(1 for r in results if r >= len(body))
        proc.terminate()  # finishes the stores under way, then ends
        proc.wait(timeout=120)
        sampler.join()
        log = ""
        for name in os.listdir(os.path.join(data_dir, "Log")) if os.path.isdir(os.path.join(data_dir, "Log")) else []:
            with open(os.path.join(data_dir, "Log", name), errors="replace") as f:
                log += f.read()
        print("downloads %d x %d MiB, %d complete" % (args.downloads, args.size, complete))
        print("kvproxy peak RSS (VmHWM): %.0f MiB (idle %.0f MiB)" % (peak[0] / 1024.0, idle / 1024.0))
        print("stored %d, not stored for the budget %d" %
              (log.count("Save to cache:"), log.count("Not saved to cache")))
    finally:
        if proc.poll() is None:
            proc.kill()
        shutil.rmtree(data_dir, ignore_errors=True)

if __name__ == "__main__":
    sys.exit(main())
