# apt-get update and install that get through a Debian mirror caught mid-sync. Sourced by
# scripts/setup.sh; the decisions are plain functions of apt's output, so they can be tried on
# recorded outputs without a network.
#
# While a mirror syncs, one index can fail with "File has unexpected size ... Mirror sync in
# progress?" for an hour or more. apt then keeps the lists it has for the other indexes, but a
# multi-arch install can no longer resolve: an amd64 candidate comes from the security suite and
# its i386 twin (Multi-Arch: same, so it must be the same version) only from the main suite.

APT_UPDATE_TRIES=${APT_UPDATE_TRIES:-3}
APT_RETRY_PAUSE=${APT_RETRY_PAUSE:-20}

# What to do after one `apt-get update`: prints "done", "retry" or "go-on" (keep the lists it
# has), from the exit code ($1), the attempt ($2, from 1), the number of tries ($3) and the
# file holding apt's output ($4).
apt_update_decision() {
  local rc=$1 attempt=$2 tries=$3 output=$4
  if [ "$rc" = 0 ] && ! grep -q '^E: ' "$output"; then echo done; return; fi
  if [ "$attempt" -lt "$tries" ]; then echo retry; return; fi
  echo go-on
}

# What to do after a failed `apt-get install`: prints "one-suite" when apt could not resolve
# versions that belong together (retry with the main suite's versions), otherwise "stop".
apt_install_decision() {
  local output=$1
  if grep -qE "but it is not installable|but it is not going to be installed|but [^ ]+ is to be installed|Unable to correct problems, you have held broken packages" "$output"; then
    echo one-suite
  else
    echo stop
  fi
}

apt_say() { printf '[setup] %s\n' "$*" >&2; }

# apt-get update, tried a few times; after the last failure it goes on with the lists it has.
# Arguments are passed to apt-get (say, to update only some of the lists).
apt_update_retrying() {
  local attempt=1 rc out
  out=$(mktemp)
  while :; do
    rc=0
    as_root apt-get update -qq "$@" > "$out" 2>&1 || rc=$?
    case $(apt_update_decision "$rc" "$attempt" "$APT_UPDATE_TRIES" "$out") in
      done) break ;;
      retry)
        apt_say "apt-get update failed (try $attempt of $APT_UPDATE_TRIES): $(grep -m1 '^E: ' "$out" || tail -1 "$out")"
        sleep "$APT_RETRY_PAUSE" ;;
      go-on)
        apt_say "apt-get update still fails after $APT_UPDATE_TRIES tries (the Debian mirror may be syncing); going on with the package lists apt has"
        break ;;
    esac
    attempt=$((attempt + 1))
  done
  rm -f "$out"
}

# apt-get install of the given packages. When apt cannot resolve a version split between the
# suites, installs again preferring the main suite, so that both architectures get one version.
apt_install_consistent() {
  local out rc=0 suite
  out=$(mktemp)
  as_root apt-get install -y -qq --no-install-recommends "$@" > "$out" 2>&1 || rc=$?
  if [ $rc != 0 ] && [ "$(apt_install_decision "$out")" = one-suite ]; then
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
    apt_say "apt-get install could not resolve the versions of the suites; installing from $suite alone"
    rc=0
    as_root apt-get install -y -qq --no-install-recommends -t "$suite" "$@" > "$out" 2>&1 || rc=$?
  fi
  if [ $rc != 0 ]; then
    tail -25 "$out" >&2
    apt_say "apt-get install failed (exit $rc) for: $*; the Debian mirror may be syncing, try again later"
  fi
  rm -f "$out"
  return $rc
}
