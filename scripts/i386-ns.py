#!/usr/bin/env python3
"""Runs a command where 32-bit x86 Linux programs run under qemu-i386.

Usage: i386-ns.py COMMAND [ARGS...]

A kernel without 32-bit support cannot start the 32-bit Wine loader, so the
command runs in a user, mount and network namespace of its own whose
binfmt_misc hands i386 ELF programs to qemu-i386. The network namespace is
the one root of the new user namespace may bind its low ports in (the
tests' HTTP server takes port 80); it has its own interfaces, and unix
sockets bound to files (the X server's, Wine's) are reached as before.
Each user namespace has its own binfmt_misc (Linux 6.7 and later), so
nothing outside the namespace changes. Every user and group id maps to itself: the command keeps root's
files and may still switch to an unprivileged account. The handler is
opened when registered (flag F), so it works in any chroot or mount below.
Exits with the command's status, or 125 when the namespace cannot be made.
"""
import ctypes
import os
import shutil
import signal
import subprocess
import sys

CLONE_NEWNS = 0x00020000
CLONE_NEWUSER = 0x10000000
CLONE_NEWNET = 0x40000000
# The i386 ELF header of an executable or a shared object; the mask lets
# any OS/ABI byte and both e_type values through. The kernel reads the \x
# escapes itself: a NUL byte written as such would end the field.
MAGIC = r'\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
MASK = r'\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'


def fail(why):
    sys.stderr.write('i386-ns: %s\n' % why)
    os._exit(125)


def network_up():
    """A new network namespace starts with its loopback interface down.
    Wine's WinInet says it is connected only through an interface that is
    not the loopback and has a gateway: a pair of virtual interfaces gives
    the namespace one. Both ends stay in the namespace, so nothing sent
    there leaves it (the addresses are of the documentation range)."""
    steps = (['link', 'set', 'lo', 'up'],
             ['link', 'add', 'kolibrio0', 'type', 'veth', 'peer', 'name', 'kolibrio1'],
             ['addr', 'add', '192.0.2.1/24', 'dev', 'kolibrio0'],
             ['addr', 'add', '192.0.2.2/24', 'dev', 'kolibrio1'],
             ['link', 'set', 'kolibrio0', 'up'],
             ['link', 'set', 'kolibrio1', 'up'],
             ['route', 'add', 'default', 'via', '192.0.2.2', 'dev', 'kolibrio0'])
    for step in steps:
        done = subprocess.run(['ip'] + step, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if done.returncode != 0:
            fail('ip %s: %s' % (' '.join(step), done.stderr.strip()))


def main():
    if len(sys.argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    qemu = shutil.which('qemu-i386')
    if not qemu:
        fail('qemu-i386 is not installed')
    libc = ctypes.CDLL(None, use_errno=True)
    to_parent_r, to_parent_w = os.pipe()
    to_child_r, to_child_w = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(to_parent_r)
        os.close(to_child_w)
        if libc.unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET) != 0:
            fail('unshare: ' + os.strerror(ctypes.get_errno()))
        os.write(to_parent_w, b'u')
        os.close(to_parent_w)
        if os.read(to_child_r, 1) != b'm':
            fail('the id maps were not written')
        os.setgid(os.getgid())
        os.setuid(os.getuid())
        network_up()
        # Mounts made here must not travel back to the parent's namespace.
        libc.mount(b'none', b'/', None, 0x40000 | 0x4000, None)  # MS_PRIVATE | MS_REC
        if libc.mount(b'binfmt_misc', b'/proc/sys/fs/binfmt_misc', b'binfmt_misc', 0, None) != 0:
            fail('mount binfmt_misc: ' + os.strerror(ctypes.get_errno()))
        try:
            with open('/proc/sys/fs/binfmt_misc/register', 'wb') as f:
                f.write((':kolibrio-i386:M::%s:%s:%s:F' % (MAGIC, MASK, qemu)).encode())
        except OSError as e:
            fail('register the i386 handler: %s' % e)
        try:
            os.execvp(sys.argv[1], sys.argv[1:])
        except OSError as e:
            fail('%s: %s' % (sys.argv[1], e))
    os.close(to_parent_w)
    os.close(to_child_r)
    # A test runner that times the command out signals this process.
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, lambda s, _: os.kill(pid, s))
    if os.read(to_parent_r, 1) == b'u':
        # Written from outside: only the parent namespace may map ids other
        # than the caller's own.
        for name in ('uid_map', 'gid_map'):
            with open('/proc/%d/%s' % (pid, name), 'w') as f:
                f.write('0 0 4294967295\n')
        os.write(to_child_w, b'm')
    os.close(to_child_w)
    while True:
        try:
            _, status = os.waitpid(pid, 0)
            return os.waitstatus_to_exitcode(status)
        except InterruptedError:
            continue


if __name__ == '__main__':
    sys.exit(main())
