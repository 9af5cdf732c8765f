# -*- coding: utf-8 -*-
# Runs vorlenctl set on the host with the task's settings as its desired
# state, through the host's command module.
from __future__ import annotations

import json

from ansible.plugins.action import ActionBase

SETTINGS = ('filter', 'compression', 'preallocation', 'threshold_mb', 'protected', 'exclusions')


class ActionModule(ActionBase):
    TRANSFERS_FILES = False
    _VALID_ARGS = frozenset(SETTINGS + ('executable',))

    def run(self, tmp=None, task_vars=None):
        result = super().run(tmp, task_vars)
        self._supports_check_mode = True
        args = self._task.args
        desired = {key: args[key] for key in SETTINGS if args.get(key) is not None}
        windows = getattr(self._connection._shell, 'SHELL_FAMILY', '') == 'powershell'
        argv = [args.get('executable') or ('vorlenctl.exe' if windows else 'vorlenctl'), 'set', '-']
        check = bool(self._task.check_mode)
        if check:
            argv.append('--check')
        module = 'ansible.windows.win_command' if windows else 'ansible.builtin.command'
        # vorlenctl set --check changes nothing: the command runs in check mode too.
        self._task.check_mode = False
        try:
            ran = self._execute_module(module_name=module, module_args={'argv': argv, 'stdin': json.dumps(desired)},
                                       task_vars=task_vars)
        finally:
            self._task.check_mode = check
        try:
            answer = json.loads(ran.get('stdout') or 'null')
        except ValueError:
            answer = None
        if ran.get('rc') not in (0, 3010):
            result['failed'] = True
            result['rc'] = ran.get('rc')
            result['msg'] = (ran.get('stderr') or ran.get('msg') or 'vorlenctl failed').strip()
            # A run that failed partway has changed what its calls before the failure changed.
            if isinstance(answer, dict) and 'calls' in answer:
                result.update(changed=answer['changed'], calls=answer['calls'], before=answer['before'],
                              after=answer['after'], reboot_required=answer['reboot_required'])
            return result
        if not isinstance(answer, dict):
            result.update(failed=True, msg='vorlenctl printed no JSON: %s' % ran.get('stdout', '')[:500])
            return result
        result['changed'] = answer['changed']
        result['reboot_required'] = answer['reboot_required']
        result['calls'] = answer['calls']
        result['before'] = answer['before']
        result['after'] = answer['after']
        if self._task.diff:
            result['diff'] = {'before': answer['before'], 'after': answer['after']}
        return result
