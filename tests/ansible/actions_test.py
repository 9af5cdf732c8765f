"""The collection's actions without a host: the command line they run
vorlenctl with through a POSIX shell (the local and SSH connections'), run
by /bin/sh, hands the program its arguments and the task's environment
intact, whatever they hold; and filter_info's differences between the
running and the next session.

    python3 actions_test.py SOURCE_DIR
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
from ansible_collections.vorlen.fbwf.plugins.action.filter_info import differences  # noqa: E402
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


SESSION = {'filter': True, 'compression': False, 'preallocation': False, 'threshold_mb': 64, 'protected': ['C:'],
           'exclusions': {'C:': ['\\Temp', '\\logs']}}


class SessionDifferences(unittest.TestCase):
    def test_each_setting_that_differs_is_named_with_both_values(self):
        cases = [
            ({}, []),
            ({'filter': False}, [{'key': 'filter', 'current': True, 'next': False}]),
            ({'threshold_mb': 128, 'protected': ['C:', 'D:'], 'exclusions': {'C:': ['\\Temp', '\\logs'], 'D:': []}},
             [{'key': 'threshold_mb', 'current': 64, 'next': 128},
              {'key': 'protected', 'current': ['C:'], 'next': ['C:', 'D:']}]),
            # Names compare as the filter compares them, whatever their case or order.
            ({'exclusions': {'C:': ['\\LOGS', '\\temp']}}, []),
            ({'exclusions': {'C:': ['\\temp']}},
             [{'key': 'exclusions', 'volume': 'C:', 'current': ['\\Temp', '\\logs'], 'next': ['\\temp']}]),
            ({'exclusions': {'C:': ['\\Temp', '\\logs'], 'D:': ['\\x']}},
             [{'key': 'exclusions', 'volume': 'D:', 'current': None, 'next': ['\\x']}]),
        ]
        for change, expected in cases:
            self.assertEqual(differences(SESSION, dict(SESSION, **change)), expected, change)


if __name__ == '__main__':
    try:
        unittest.main(verbosity=2)
    finally:
        os.unlink(os.path.join(collections, 'ansible_collections', 'vorlen', 'fbwf'))
