# vm-lib.sh - shared part of the QEMU guest tests; sourced by *-test.sh.
# shellcheck shell=bash
#
# A test script does:
#   . "$HERE/vm-lib.sh"
#   vm_init CLI                      # skip (exit 77) when QEMU or the guest kernel is missing
#   img=$(vm_disk NAME SIZE_MIB [make-disk.sh options])
#   vm_step NAME COMMAND [ARGS...]   # a command to run in the guest, in order
#   vm_boot [run-in-qemu.sh options] # one boot runs every step registered so far
#   vm_check STEP CHECKER [ARGS...]  # python3 CHECKER STEPDIR ARGS; STEPDIR holds out, err, rc
#   vm_schema COMMAND STEP...        # each STEP's stdout is valid for docs/json/COMMAND.schema.json
#   vm_finish                        # exit 0, or 1 when any check failed
#
# Each step's stdout, stderr and exit status are kept apart in the guest and
# split out again on the host, so a checker sees exactly what the command
# printed. Work files live in a temporary directory under the cache
# ($QUORVANE_VM_CACHE, default /var/tmp/quorvane-vm) and are removed at exit
# unless QUORVANE_VM_KEEP=1.

VM_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
VM_SKIP=77
VM_FAILED=0
VM_STEPS=()
VM_STEP_TEXT=""
VM_CLI=""
VM_WORK=""
VM_OUTPUT=""
VM_CONSOLE=""

vm_say() { echo "vm-test: $*"; }
vm_skip() { echo "vm-test: SKIP: $*"; exit $VM_SKIP; }
vm_die() { echo "vm-test: FAIL: $*" >&2; vm_dump; exit 1; }

vm_dump() {
    if [ -n "$VM_OUTPUT" ] && [ -s "$VM_OUTPUT" ]; then
        echo "----- guest output -----" >&2
        cat "$VM_OUTPUT" >&2
    fi
    if [ -n "$VM_CONSOLE" ] && [ -s "$VM_CONSOLE" ]; then
        echo "----- guest console (last 40 lines) -----" >&2
        tail -n 40 "$VM_CONSOLE" >&2
    fi
}

# Skips only when QEMU or the guest kernel is not installed; everything else
# that is missing or goes wrong later is a failure.
vm_init() {
    # sfdisk, mkfs.fat and modprobe live in sbin, which a user's PATH may lack.
    export PATH=$PATH:/usr/sbin:/sbin
    VM_CLI=${1:-}
    [ -n "$VM_CLI" ] || vm_die "usage: $0 PATH/TO/quorvane-cli"
    [ -x "$VM_CLI" ] || vm_die "$VM_CLI is not an executable"
    command -v qemu-system-x86_64 >/dev/null || vm_skip "qemu-system-x86_64 missing (apt-get install qemu-system-x86)"
    local kernel
    kernel=$(ls -1 /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n1 || true)
    [ -n "$kernel" ] || vm_skip "no guest kernel in /boot (apt-get install linux-image-amd64)"
    [ -d "/lib/modules/${kernel##*/vmlinuz-}" ] || vm_skip "no modules for $kernel (apt-get install linux-image-amd64)"
    # The rest comes with the same install; its absence is a broken set-up.
    local tool
    for tool in busybox cpio sfdisk sgdisk mkfs.fat readelf file modprobe xz; do
        command -v $tool >/dev/null || vm_die "$tool missing (run scripts/install-deps.sh)"
    done
    VM_PYTHON=$(command -v /usr/bin/python3 || command -v python3 || true)
    [ -n "$VM_PYTHON" ] || vm_die "python3 missing (run scripts/install-deps.sh)"
    "$VM_PYTHON" -c "import jsonschema" 2>/dev/null ||
        vm_die "python3-jsonschema missing (run scripts/install-deps.sh)"
    # The checkers expect the documents to name this version of the program.
    QVM_VERSION=$("$VM_CLI" --version | sed -n 's/^quorvane-cli //p')
    [ -n "$QVM_VERSION" ] || vm_die "$VM_CLI --version names no version"
    export QVM_VERSION

    local cache=${QUORVANE_VM_CACHE:-/var/tmp/quorvane-vm}
    mkdir -p "$cache" || vm_die "cannot create $cache"
    # The harness keeps its kernel copy and base initramfs here too.
    export QEMU_ATA_CACHE=$cache
    VM_WORK=$(mktemp -d "$cache/run.XXXXXX") || vm_die "cannot create a work directory in $cache"
    VM_OUTPUT=$VM_WORK/guest-output.txt
    VM_CONSOLE=$VM_WORK/guest-console.txt
    trap vm_cleanup EXIT
}

vm_cleanup() {
    if [ "${QUORVANE_VM_KEEP:-0}" = 1 ]; then
        echo "vm-test: work files kept in $VM_WORK" >&2
    elif [ -n "$VM_WORK" ]; then
        rm -rf "$VM_WORK"
    fi
}

# vm_disk NAME SIZE_MIB [make-disk.sh options]: prints the image path.
vm_disk() {
    local name=$1 size=$2
    shift 2
    local img=$VM_WORK/$name.img
    "$VM_HERE/make-disk.sh" "$img" --size-mib "$size" "$@" >/dev/null || vm_die "make-disk.sh $name failed"
    echo "$img"
}

vm_quote() { local s=${1//\'/\'\\\'\'}; printf "'%s'" "$s"; }

# vm_step NAME COMMAND [ARGS...]
vm_step() {
    local name=$1
    shift
    [[ $name =~ ^[A-Za-z0-9_.-]+$ ]] || vm_die "bad step name '$name'"
    VM_STEPS+=("$name")
    local cmd="" a
    for a in "$@"; do cmd+=" $(vm_quote "$a")"; done
    VM_STEP_TEXT+="qvm_step $name$cmd"$'\n'
}

# vm_boot [run-in-qemu.sh options]: boots once, runs the registered steps and
# splits their output into $VM_WORK/steps/NAME/{out,err,rc}.
vm_boot() {
    [ ${#VM_STEPS[@]} -gt 0 ] || vm_die "vm_boot without steps"
    local guest
    # Markers start on a fresh line even when a command ends without newline.
    guest=$(cat <<'EOF'
qvm_step() {
    qvm_name=$1
    shift
    "$@" >/tmp/qvm.out 2>/tmp/qvm.err
    qvm_rc=$?
    printf '\n@@QVM-BEGIN %s@@\n' "$qvm_name"
    cat /tmp/qvm.out
    printf '\n@@QVM-STDERR %s@@\n' "$qvm_name"
    cat /tmp/qvm.err
    printf '\n@@QVM-END %s rc=%d@@\n' "$qvm_name" "$qvm_rc"
}
EOF
)
    guest+=$'\n'"$VM_STEP_TEXT"
    vm_say "booting the guest for: ${VM_STEPS[*]}"
    local rc=0
    "$VM_HERE/run-in-qemu.sh" "$@" --snapshot --timeout "${QUORVANE_VM_TIMEOUT:-300}" \
        --include "$VM_CLI:/usr/local/bin/quorvane-cli" \
        --output "$VM_OUTPUT" --console "$VM_CONSOLE" --sh "$guest" >"$VM_WORK/harness.log" 2>&1 || rc=$?
    case $rc in
        0) ;;
        124) cat "$VM_WORK/harness.log" >&2; vm_die "the guest did not finish in time" ;;
        *) cat "$VM_WORK/harness.log" >&2; vm_die "the QEMU harness failed (exit $rc)" ;;
    esac
    "$VM_PYTHON" "$VM_HERE/vmcheck.py" split "$VM_OUTPUT" "$VM_WORK/steps" "${VM_STEPS[@]}" \
        || vm_die "the guest output lacks some steps"
}

# vm_check STEP CHECKER [ARGS...]: a failed check is reported and counted;
# the remaining checks still run.
vm_check() {
    local step=$1 checker=$2
    shift 2
    if "$VM_PYTHON" "$checker" "$VM_WORK/steps/$step" "$@"; then
        vm_say "PASS: $step ($(basename "$checker"))"
    else
        echo "vm-test: FAIL: $step ($(basename "$checker"))" >&2
        VM_FAILED=1
    fi
}

# vm_schema COMMAND STEP...: the steps' --json outputs against the schema the
# package ships for COMMAND (tests/common/check_json.py), one check per step.
vm_schema() {
    local command=$1 step
    shift
    for step in "$@"; do
        if "$VM_PYTHON" "$VM_HERE/../common/check_json.py" "$VM_HERE/../../docs/json" \
            "$command" "$VM_WORK/steps/$step/out"; then
            vm_say "PASS: $step (the $command schema)"
        else
            echo "vm-test: FAIL: $step (the $command schema)" >&2
            VM_FAILED=1
        fi
    done
}

vm_finish() {
    if [ $VM_FAILED != 0 ]; then
        vm_dump
        exit 1
    fi
    vm_say "all checks passed"
    exit 0
}
