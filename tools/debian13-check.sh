#!/usr/bin/env bash
# The Debian 13 leg of CI: what a newcomer on Debian 13 (trixie) runs, in a
# fresh trixie chroot made from the archive this machine's apt already uses.
#
#   tools/debian13-check.sh [COMMIT]
#
# COMMIT (HEAD by default) is cloned into the chroot, where the leg runs
# tools/install-deps.sh test, the default preset (warnings as errors) and
# every unit test, the end-to-end scenarios start, mouse and keyboard on
# PulseAudio and on PipeWire, and the package check (make package, lintian
# included). Each step's time is printed, and the leg fails at the first
# step that does.
#
# Runs as root (debootstrap, chroot and mounts need it). The minimal trixie
# system is made once and kept in $BELVO_CHROOT_CACHE (/var/cache/belvo-ci
# by default), made anew once it is a week old; each run works in a fresh
# copy of it, so nothing one run installs is there for the next. apt's
# downloads are kept beside it, so a later run fetches only what changed.
# Inside, only /proc, /sys, /dev, /dev/pts and a private tmpfs on /dev/shm
# are mounted, and all of them are unmounted again however the run ends; a
# run killed outright is cleaned up by the next one.
set -euo pipefail

suite=trixie
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${BELVO_CHROOT_CACHE:-/var/cache/belvo-ci}
base=$cache/$suite
root=$cache/$suite-run
archives=$cache/$suite-archives
max_age_days=7

say() { printf 'debian13-check: %s\n' "$*" >&2; }

if [ "$(id -u)" -ne 0 ]; then
  say "must run as root (debootstrap, chroot and mounts need it)"
  exit 2
fi
commit=$(git -C "$source_dir" rev-parse --verify "${1:-HEAD}^{commit}") || {
  say "no commit ${1:-HEAD} in $source_dir"; exit 2; }

# Everything mounted under DIR, deepest first.
mounts_under() {
  awk -v dir="$1" '{ if ($5 == dir || index($5, dir "/") == 1) print $5 }' /proc/self/mountinfo \
    | awk '{ print length($0), $0 }' | sort -rn | cut -d' ' -f2-
}

# Ends every process whose root is DIR (what a failed or killed run left
# running there: X servers, sound servers, the program), then unmounts all
# that is mounted under DIR.
release() {
  local dir=$1 pid link mount tries
  for tries in 1 2 3; do
    local found=0
    for link in /proc/[0-9]*/root; do
      pid=${link#/proc/}; pid=${pid%/root}
      [ "$(readlink "$link" 2>/dev/null)" = "$dir" ] || continue
      kill -KILL "$pid" 2>/dev/null && found=1
    done
    [ "$found" = 1 ] || break
    sleep 0.5
  done
  while read -r mount; do
    [ -n "$mount" ] || continue
    umount "$mount" 2>/dev/null || umount -l "$mount" 2>/dev/null \
      || say "could not unmount $mount"
  done < <(mounts_under "$dir")
}

# Removes DIR once nothing is mounted under it; never follows a mount.
remove_tree() {
  local dir=$1
  [ -e "$dir" ] || return 0
  release "$dir"
  if [ -n "$(mounts_under "$dir")" ]; then
    say "$dir still has mounts; leaving it"
    return 1
  fi
  rm -rf --one-file-system "$dir"
}

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  # The downloads, for the next run.
  if [ -d "$root/var/cache/apt/archives" ]; then
    find "$root/var/cache/apt/archives" -maxdepth 1 -name '*.deb' \
      -exec cp -aln -t "$archives" {} + 2>/dev/null || true
  fi
  remove_tree "$root" || status=1
  exit "$status"
}

mkdir -p "$cache"
# One run at a time on a machine: they share the cache. What runs in the
# chroot is not handed the lock, so that a run killed outright does not
# leave it held by what it started there.
exec 9>"$cache/lock"
if ! flock -n 9; then
  # Held by another run, which is waited for; or only by what a run killed
  # outright left behind (what it ran in its chroot, or its own wait for
  # the lock), which is ended first.
  orphans=1 waits=()
  for fd in /proc/[0-9]*/fd/*; do
    [ "$(readlink "$fd" 2>/dev/null)" = "$cache/lock" ] || continue
    proc=${fd%/fd/*}
    [ "$proc" = "/proc/$$" ] || [ "$proc" = "/proc/$BASHPID" ] && continue
    [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && continue
    if [ "$(cat "$proc/comm" 2>/dev/null)" = flock ] \
        && [ "$(awk '{ print $4 }' "$proc/stat" 2>/dev/null)" = 1 ]; then
      waits+=("${proc#/proc/}")
      continue
    fi
    orphans=0
  done
  if [ "$orphans" = 1 ]; then
    [ ${#waits[@]} -eq 0 ] || kill -KILL "${waits[@]}" 2>/dev/null || true
    release "$root"
  else
    say "waiting for another run to finish"
  fi
  flock 9
fi

# What an earlier run left behind, had it been killed outright.
remove_tree "$root"
remove_tree "$base.new"

# The archive this machine's apt uses for Debian itself (not its security
# archive): the first deb line or deb822 URIs of a Debian suite.
mirror=${BELVO_DEBIAN_MIRROR:-}
if [ -z "$mirror" ]; then
  mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null \
    | awk 'BEGIN { RS = ""; FS = "\n" }
      /(^|\n)Types:[^\n]*deb([ \t]|$|\n)/ && !/debian-security/ {
        for (i = 1; i <= NF; i++) if ($i ~ /^URIs:/) { split($i, u, /[ \t]+/); print u[2]; exit } }')
fi
if [ -z "$mirror" ]; then
  mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
    | awk '$1 == "deb" && $0 !~ /debian-security/ {
        for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:/) { print $i; exit } }')
fi
[ -n "$mirror" ] || { say "found no Debian archive in /etc/apt; set BELVO_DEBIAN_MIRROR"; exit 2; }

if ! command -v debootstrap >/dev/null; then
  say "installing debootstrap"
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

started=$SECONDS
step_started=$SECONDS
step() { say "$1 ($((SECONDS - step_started)) s)"; step_started=$SECONDS; }

# The minimal system, made anew once a week (and its downloads with it, so
# that they do not pile up).
if [ ! -f "$base/.made" ] || [ -n "$(find "$base/.made" -mtime +$((max_age_days - 1)) 2>/dev/null)" ]; then
  say "making a minimal $suite system from $mirror"
  remove_tree "$base"
  rm -rf "$archives"
  if ! debootstrap --variant=minbase "$suite" "$base.new" "$mirror" >"$cache/debootstrap.log" 2>&1 9>&-; then
    tail -n 20 "$cache/debootstrap.log" >&2
    remove_tree "$base.new"
    say "debootstrap failed; its log is $cache/debootstrap.log"
    exit 1
  fi
  release "$base.new"
  # debootstrap's own downloads would only be copied into every run.
  rm -f "$base.new"/var/cache/apt/archives/*.deb
  date -u +%FT%TZ >"$base.new/.made"
  mv "$base.new" "$base"
  step "made the $suite system"
fi
mkdir -p "$archives"

trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

cp -a --reflink=auto "$base" "$root"
find "$archives" -maxdepth 1 -name '*.deb' -exec cp -aln -t "$root/var/cache/apt/archives" {} +
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
# A proxy the machine's apt is told to use, if any.
apt-config dump 2>/dev/null | grep -E '^Acquire::[a-z]+::Proxy ' >"$root/etc/apt/apt.conf.d/90host-proxy" || true
git clone --quiet --no-hardlinks "$source_dir" "$root/src/belvo"
git -C "$root/src/belvo" checkout --quiet --detach "$commit"

mount -t proc proc "$root/proc"
mount --bind /sys "$root/sys"
mount --make-private "$root/sys"
mount --bind /dev "$root/dev"
mount --make-private "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount --make-private "$root/dev/pts"
mount -t tmpfs -o mode=1777,nosuid,nodev shm "$root/dev/shm"
step "copied the system and commit ${commit:0:12} into $root"

# Runs a step in the chroot, as a newcomer's shell would, with nothing of
# this machine's environment. Long output (every compiler line and test)
# goes to a log, whose end is shown when the step fails.
run_step() {  # WHAT COMMAND [quiet]
  local what=$1 command=$2 log=$root/src/step.log
  if [ "${3:-}" = quiet ]; then command="($command) >/src/step.log 2>&1"; fi
  if ! chroot "$root" 9>&- /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      HOME=/root LANG=C.UTF-8 TERM=dumb CI=true DEBIAN_FRONTEND=noninteractive \
      /bin/bash -o pipefail -c "cd /src/belvo && $command"; then
    if [ "${3:-}" = quiet ]; then tail -n 60 "$log" >&2; fi
    say "FAILED: $what"
    return 1
  fi
  # What the step said last: for the unit tests, how many passed.
  if [ "${3:-}" = quiet ]; then grep -E '^[0-9]+% tests passed' "$log" >&2 || true; fi
  step "$what"
}

# The build's steps stop the leg when they fail; the checks after them all
# run, so that one run tells of each.
run_step "tools/install-deps.sh test" 'tools/install-deps.sh test' quiet
run_step "the default preset built, warnings as errors" \
  'cmake --preset default && cmake --build --preset default' quiet
failed=()
run_step "the unit tests" 'ctest --preset default -j2' quiet || failed+=("the unit tests")
run_step "e2e on PulseAudio" 'tests/e2e/run-e2e.sh build --server pulse start mouse keyboard' \
  || failed+=("e2e on PulseAudio")
run_step "e2e on PipeWire" 'tests/e2e/run-e2e.sh build --server pipewire start mouse keyboard' \
  || failed+=("e2e on PipeWire")
# The native Wayland client on this release's sway, which scales by
# fractions: at 1 and at 1.5, where the program draws at 1.5 itself, and
# which brings a window forward only with a launcher's activation token.
run_step "e2e on Wayland (sway)" 'E2E_EXPECT_FRACTIONAL=1 tests/e2e/run-e2e.sh build --server pulse --display wayland start menus mouse keyboard second-launch fractional' \
  || failed+=("e2e on Wayland")
run_step "make package" 'make package' || failed+=("make package")
if [ ${#failed[@]} -gt 0 ]; then
  say "Debian 13 failed in $((SECONDS - started)) s: $(IFS=,; echo "${failed[*]}" | sed 's/,/, /g')"
  exit 1
fi
say "Debian 13 passed in $((SECONDS - started)) s"
