# -*- coding: utf-8 -*-
# vorlenctl set on the host with the task's settings as its desired state on
# standard input.
from __future__ import annotations

import json

from ansible_collections.vorlen.fbwf.plugins.plugin_utils.vorlenctl import VorlenctlAction

SETTINGS = ('filter', 'compression', 'preallocation', 'threshold_mb', 'protected', 'exclusions')


class ActionModule(VorlenctlAction):
    _VALID_ARGS = frozenset(SETTINGS + ('executable', 'servicing', 'servicing_file'))

    def run(self, tmp=None, task_vars=None):
        result = super().run(tmp, task_vars)
        self._supports_check_mode = True
        args = self._task.args
        desired = {key: args[key] for key in SETTINGS if args.get(key) is not None}
        argv = ['set', '-'] + self.options('servicing', 'servicing_file')
        # vorlenctl set --check changes nothing: it runs in check mode too.
        if self._task.check_mode:
            argv.append('--check')
        answer = self.vorlenctl_json(argv, result, json.dumps(desired))
        if isinstance(answer, dict) and 'calls' in answer:
            # A run that failed partway has changed what its calls before the failure changed.
            result.update(changed=answer['changed'], calls=answer['calls'], before=answer['before'],
                          after=answer['after'], reboot_required=answer['reboot_required'])
            if self._task.diff and not result.get('failed'):
                result['diff'] = {'before': answer['before'], 'after': answer['after']}
        return result
