#!/bin/bash
# A one-machine Slurm to try the sweep scripts on: writes /etc/slurm/slurm.conf for this host
# (NodeName = hostname -s, CPUs = nproc) and starts munged, slurmctld and slurmd by hand, without
# systemd or cgroups (proctrack/linuxproc, task/none). Needs root and Debian's slurm-wlm and munge.
#
#   examples/slurm/single-node.sh start     # configure, start the daemons, wait for the node
#   examples/slurm/single-node.sh stop      # stop the daemons this script started
set -euo pipefail

conf=/etc/slurm/slurm.conf
marker='# written by skarven examples/slurm/single-node.sh'
state=/var/spool/slurm-single-node
logs=/var/log/slurm

die() {
    echo "single-node.sh: $*" >&2
    exit 1
}

# True when the process named in the pid file is alive.
running() {
    [[ -s $1 ]] && kill -0 "$(<"$1")" 2>/dev/null
}

# Stops a daemon by the process id in its pid file, and waits for it to go.
stop_daemon() {
    local name=$1 pidfile=$2 pid
    [[ -s $pidfile ]] || { echo "$name: no pid file $pidfile"; return 0; }
    pid=$(<"$pidfile")
    if kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid"
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
        kill -0 "$pid" 2>/dev/null && die "$name (pid $pid) did not stop"
        echo "$name (pid $pid) stopped"
    else
        echo "$name: not running"
    fi
    rm -f "$pidfile"
}

start() {
    [[ $EUID -eq 0 ]] || die "run as root: the daemons and $conf need it"
    local cmd
    for cmd in munged slurmctld slurmd sinfo; do
        command -v "$cmd" >/dev/null || die "$cmd not found: apt-get install slurm-wlm munge"
    done
    # Never overwrite a configuration someone else wrote.
    if [[ -e $conf ]] && ! grep -qxF "$marker" "$conf"; then
        die "$conf exists and was not written by this script; move it away first"
    fi

    local host cpus
    host=$(hostname -s)
    cpus=$(nproc)
    mkdir -p "$state/ctld" "$state/d" "$logs" /run/munge
    chown munge:munge /run/munge
    cat >"$conf.tmp" <<CONF
$marker
ClusterName=single
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
StateSaveLocation=$state/ctld
SlurmdSpoolDir=$state/d
SlurmctldPidFile=/run/slurmctld.pid
SlurmdPidFile=/run/slurmd.pid
SlurmctldLogFile=$logs/slurmctld.log
SlurmdLogFile=$logs/slurmd.log
NodeName=$host CPUs=$cpus State=UNKNOWN
PartitionName=main Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
    mv "$conf.tmp" "$conf"

    if ! munge -n </dev/null >/dev/null 2>&1; then
        [[ -s /etc/munge/munge.key ]] || die "no /etc/munge/munge.key: run mungekey --create"
        runuser -u munge -- munged
        touch "$state/munged-started"
    fi
    munge -n </dev/null | unmunge >/dev/null || die "munge does not work"
    running /run/slurmctld.pid || slurmctld
    running /run/slurmd.pid || slurmd

    # The node registers within seconds; a node left "down" by an earlier run is resumed.
    local nodestate=""
    for _ in $(seq 60); do
        nodestate=$(sinfo -h -n "$host" -o %t 2>/dev/null || true)
        case $nodestate in
            idle* | mix* | alloc*) sinfo; return 0 ;;
            down* | drain*) scontrol update NodeName="$host" State=RESUME || true ;;
        esac
        sleep 1
    done
    die "node $host not ready (state '$nodestate'); see $logs/slurmctld.log and $logs/slurmd.log"
}

stop() {
    stop_daemon slurmd /run/slurmd.pid
    stop_daemon slurmctld /run/slurmctld.pid
    # A munged that was running before "start" serves others too: leave it.
    if [[ -e $state/munged-started ]]; then
        stop_daemon munged /run/munge/munged.pid
        rm -f "$state/munged-started"
    fi
}

case ${1:-} in
    start) start ;;
    stop) stop ;;
    *) die "usage: single-node.sh start|stop" ;;
esac
