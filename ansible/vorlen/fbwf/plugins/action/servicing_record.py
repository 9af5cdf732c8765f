# -*- coding: utf-8 -*-
# vorlenctl servicing on the host: the record of a servicing in progress.
from __future__ import annotations

from ansible_collections.vorlen.fbwf.plugins.plugin_utils.vorlenctl import VorlenctlAction


class ActionModule(VorlenctlAction):
    _VALID_ARGS = frozenset(('state', 'name', 'step', 'servicing_file', 'executable'))

    def run(self, tmp=None, task_vars=None):
        result = super().run(tmp, task_vars)
        args = self._task.args
        state = args.get('state', 'started')
        verbs = {'started': ['start', args.get('name', '')], 'step': ['step', args.get('step', '')],
                 'ended': ['end'] + ([args['step']] if args.get('step') else []), 'read': []}
        if state not in verbs:
            return dict(result, failed=True, msg='state is one of %s, not %s' % (', '.join(verbs), state))
        answer = self.vorlenctl_json(['servicing'] + verbs[state] + self.options('servicing_file'), result)
        if isinstance(answer, dict):
            result['record'] = answer
            result['changed'] = state != 'read'
        return result
