"""A program of ours a test starts: it prints one line (its port, its device)
and serves until its standard input closes.

Its standard error is read as it comes, so that a program that logs a lot
never stalls on a full pipe while the test waits for it.
"""
import subprocess
import threading


class Child:
    def __init__(self, *argv):
        self.proc = subprocess.Popen([*argv, "--exit-on-stdin-eof"], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self._errors = []
        self._reader = threading.Thread(target=lambda: self._errors.extend(self.proc.stderr),
                                        daemon=True)
        self._reader.start()
        self.line = self.proc.stdout.readline().strip()

    def stop(self):
        """(exit status, or how it ended; everything it wrote to standard error)"""
        self.proc.stdin.close()
        try:
            status = self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            status = "killed after 15 s"
        self._reader.join(timeout=5)
        return status, "".join(self._errors)
