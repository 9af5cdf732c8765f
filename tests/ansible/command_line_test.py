"""The command line the collection's actions run vorlenctl with through a
POSIX shell (the local and SSH connections'): run by /bin/sh, it must hand
the program its arguments and the task's environment intact, whatever they
hold.

    python3 command_line_test.py SOURCE_DIR
"""
import json
import os
import subprocess
import sys
import tempfile
import types
import unittest

collections = tempfile.mkdtemp()
os.makedirs(os.path.join(collections, 'ansible_collections', 'vorlen'))
os.symlink(os.path.join(os.path.abspath(sys.argv.pop(1)), 'ansible', 'vorlen', 'fbwf'),
           os.path.join(collections, 'ansible_collections', 'vorlen', 'fbwf'))
sys.path.insert(0, collections)
from ansible.plugins.shell.sh import ShellModule  # noqa: E402
from ansible_collections.vorlen.fbwf.plugins.plugin_utils.vorlenctl import VorlenctlAction  # noqa: E402

SHOW = 'import json, os, sys; print(json.dumps([sys.argv[1:], os.environ["FBWFSIM_DIR"]]))'


class PosixCommandLine(unittest.TestCase):
    def test_the_shell_hands_the_program_its_arguments_and_environment_intact(self):
        shell = ShellModule()
        for argument, folder in [("\\it's \"quoted\" $HOME `id` & | ; \\n", "/tmp/a b's $x"),
                                 ('', 'C:\\ProgramData\\vorlen'), ('-', '')]:
            fake = types.SimpleNamespace(_connection=types.SimpleNamespace(_shell=shell))
            fake._compute_environment_string = lambda out, f=folder: out.update(FBWFSIM_DIR=f) or shell.env_prefix(FBWFSIM_DIR=f)
            fake.family = VorlenctlAction.family.__get__(fake)
            line = VorlenctlAction.command_line(fake, ['/usr/bin/python3', '-c', SHOW, 'commit', 'C:', argument])
            ran = subprocess.run(['/bin/sh', '-c', line], capture_output=True, text=True, check=True)
            self.assertEqual(json.loads(ran.stdout), [['commit', 'C:', argument], folder], line)


if __name__ == '__main__':
    try:
        unittest.main(verbosity=2)
    finally:
        os.unlink(os.path.join(collections, 'ansible_collections', 'vorlen', 'fbwf'))
