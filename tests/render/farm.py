"""A one-node Slurm cluster of the test's own: munged and both Slurm daemons started on this
machine with a configuration in a temporary folder, and stopped by their process ids."""
import os
import pwd
import shutil
import socket
import subprocess
import tempfile
import unittest

from e2e import wait_for


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class SlurmCluster:
    """Raises unittest.SkipTest, saying why, where Slurm cannot start here."""

    def __init__(self):
        self.processes, self.folder = [], None

    def why_not(self):
        missing = [p for p in ("munged", "mungekey", "slurmctld", "slurmd", "sbatch", "squeue")
                   if not shutil.which(p, path=os.environ.get("PATH", "") + ":/usr/sbin")]
        if missing:
            return "Slurm is not installed (%s missing; Debian packages slurm-wlm and munge)" % ", ".join(missing)
        if os.geteuid() != 0:
            return "starting Slurm's daemons takes root"
        try:
            pwd.getpwnam("munge")
        except KeyError:
            return "there is no munge user"
        return ""

    def start(self):
        self.folder = tempfile.mkdtemp(prefix="prismwafer-slurm-")
        munge = pwd.getpwnam("munge")
        run = os.path.join(self.folder, "munge")
        os.makedirs(run)
        os.chmod(self.folder, 0o755)
        os.chown(run, munge.pw_uid, munge.pw_gid)
        key, sock = os.path.join(run, "munge.key"), os.path.join(run, "munge.socket")
        subprocess.run(["runuser", "-u", "munge", "--", "mungekey", "-c", "-k", key], check=True, timeout=60)
        self.spawn(["runuser", "-u", "munge", "--", "munged", "-F", "--socket=" + sock, "--key-file=" + key,
                    "--pid-file=" + os.path.join(run, "munged.pid"), "--seed-file=" + os.path.join(run, "seed"),
                    "--log-file=" + os.path.join(run, "munged.log")], "munged.out")
        self.wait_or_skip("munged's socket", lambda: os.path.exists(sock), 60)
        node = subprocess.run(["slurmd", "-C"], capture_output=True, text=True, check=True,
                              timeout=60).stdout.splitlines()[0]
        host = node.split()[0].split("=")[1]
        paths = {name: os.path.join(self.folder, name) for name in ("state", "spool")}
        for path in paths.values():
            os.makedirs(path)
        self.conf = os.path.join(self.folder, "slurm.conf")
        settings = [
            "ClusterName=prismwafer", "SlurmctldHost=" + host, "SlurmUser=root", "SlurmdUser=root",
            "SlurmctldPort=%d" % free_port(), "SlurmdPort=%d" % free_port(), "AuthType=auth/munge",
            "AuthInfo=socket=" + sock, "StateSaveLocation=" + paths["state"], "SlurmdSpoolDir=" + paths["spool"],
            "SlurmctldPidFile=%s/slurmctld.pid" % self.folder, "SlurmdPidFile=%s/slurmd.pid" % self.folder,
            "SlurmctldLogFile=%s/slurmctld.log" % self.folder, "SlurmdLogFile=%s/slurmd.log" % self.folder,
            "ProctrackType=proctrack/linuxproc", "TaskPlugin=task/none", "SelectType=select/cons_tres",
            "SelectTypeParameters=CR_Core", "AccountingStorageType=accounting_storage/none",
            "JobCompType=jobcomp/none", "MpiDefault=none", "ReturnToService=2", "SchedulerType=sched/builtin",
            node.replace("UpTime", "").strip() + " State=UNKNOWN",
            "PartitionName=render Nodes=%s Default=YES MaxTime=INFINITE State=UP" % host]
        with open(self.conf, "w") as f:
            f.write("\n".join(settings) + "\n")
        self.env = dict(os.environ, SLURM_CONF=self.conf)
        self.spawn(["slurmctld", "-D", "-f", self.conf], "slurmctld.out")
        self.spawn(["slurmd", "-D", "-f", self.conf], "slurmd.out")

        def idle():
            states = subprocess.run(["sinfo", "-h", "-o", "%t"], env=self.env, capture_output=True, text=True,
                                    timeout=60).stdout.split()
            return states and all(s.startswith("idle") for s in states)
        self.wait_or_skip("the Slurm node to be idle", idle, 120)

    def wait_or_skip(self, what, probe, deadline):
        """A daemon that dies or a cluster that never comes up means Slurm cannot run here (a
        chroot without cgroups, say): the test is skipped, saying so with the daemons' last words,
        rather than failed for something the renderer did not do."""
        def ready():
            dead = [p for p in self.processes if p.poll() is not None]
            if dead:
                raise unittest.SkipTest("Slurm cannot start here: %s exited with status %s\n%s"
                                        % (dead[0].name, dead[0].returncode, self.log()))
            return probe()
        try:
            wait_for(what, ready, deadline=deadline)
        except AssertionError as error:
            raise unittest.SkipTest("Slurm cannot start here: %s\n%s" % (error, self.log()))

    def spawn(self, command, log):
        with open(os.path.join(self.folder, log), "w") as out:
            self.processes.append(subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT))
        self.processes[-1].name = log.rsplit(".", 1)[0]

    def log(self):
        text = ""
        for name in ("slurmctld.log", "slurmd.log", "munge/munged.log"):
            path = os.path.join(self.folder, name)
            if os.path.exists(path):
                with open(path, errors="replace") as f:
                    text += "== %s\n%s" % (name, f.read()[-3000:])
        return text

    def stop(self):
        # The daemons by the ids they were started with, the controller last; munged after both.
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=30)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)
