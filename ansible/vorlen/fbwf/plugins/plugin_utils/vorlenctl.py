# -*- coding: utf-8 -*-
# The collection's actions run vorlenctl on the host through the connection's
# own command execution, as the raw module runs a command: no module is sent
# to the host and no Python runs there, and the input goes on standard input.
# The task's environment is applied here, since that execution ignores it.
from __future__ import annotations

import json
import shlex

from ansible.plugins.action import ActionBase


class VorlenctlAction(ActionBase):
    TRANSFERS_FILES = False

    def family(self):
        return getattr(self._connection._shell, 'SHELL_FAMILY', '')

    def windows(self):
        return self.family() in ('powershell', 'cmd')

    def command_line(self, argv):
        environment = {}
        prefix = self._compute_environment_string(environment)
        shell = self._connection._shell
        if self.family() == 'powershell':
            # $input is the script's standard input; handed on as the program's.
            quoted = ["'%s'" % shell._escape(str(a)) for a in argv]
            settings = ''.join("$env:%s = '%s'; " % (name, shell._escape(str(value))) for name, value in environment.items())
            return '%s$input | & %s; exit $LASTEXITCODE' % (settings, ' '.join(quoted))
        if self.family() == 'cmd':
            # set's own quotes, escaped from cmd, keep a blank before && out of the value.
            settings = ''.join('set ^"%s^" && ' % shell.quote('%s=%s' % (name, value)).strip('^"')
                               for name, value in environment.items())
            return settings + ' '.join(shell.quote(str(a)) for a in argv)
        return (prefix + ' ' if prefix else '') + ' '.join(shlex.quote(str(a)) for a in argv)

    def options(self, *names):
        """The task's options NAMES that are given, as vorlenctl's --NAME VALUE."""
        given = [(name, self._task.args.get(name)) for name in names]
        return [word for name, value in given if value for word in ('--' + name.replace('_', '-'), value)]

    def vorlenctl(self, args, stdin=None):
        """vorlenctl ARGS on the host: (rc, stdout, stderr)."""
        executable = self._task.args.get('executable') or ('vorlenctl.exe' if self.windows() else 'vorlenctl')
        data = stdin.encode('utf-8') if isinstance(stdin, str) else stdin
        ran = self._low_level_execute_command(self.command_line([executable] + list(args)), in_data=data)
        return ran.get('rc'), ran.get('stdout', ''), ran.get('stderr', '')

    def vorlenctl_json(self, args, result, stdin=None):
        """vorlenctl's JSON answer, or None with `result` failed and why."""
        rc, out, err = self.vorlenctl(args, stdin)
        result['rc'] = rc
        try:
            answer = json.loads(out or 'null')
        except ValueError:
            answer = None
        if rc != 0:
            result['failed'] = True
            result['msg'] = (err or out or 'vorlenctl exited %s' % rc).strip()
        elif not isinstance(answer, dict):
            result.update(failed=True, msg='vorlenctl printed no JSON: %s' % out[:500])
        return answer
