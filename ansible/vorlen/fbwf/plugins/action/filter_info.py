# -*- coding: utf-8 -*-
# vorlenctl get on the host, as facts, with what differs between the running
# session and the next spelt out.
from __future__ import annotations

import json

from ansible_collections.vorlen.fbwf.plugins.plugin_utils.vorlenctl import VorlenctlAction


def differences(current, following):
    """Each setting that differs, with both values; exclusions by volume."""
    found = []
    for key in ('filter', 'compression', 'preallocation', 'threshold_mb', 'protected'):
        if key in current and key in following and current[key] != following[key]:
            found.append({'key': key, 'current': current[key], 'next': following[key]})
    now, then = current.get('exclusions', {}), following.get('exclusions', {})
    for volume in sorted(set(now) | set(then)):
        if sorted(p.lower() for p in now.get(volume, [])) != sorted(p.lower() for p in then.get(volume, [])):
            found.append({'key': 'exclusions', 'volume': volume, 'current': now.get(volume), 'next': then.get(volume)})
    return found


class ActionModule(VorlenctlAction):
    _VALID_ARGS = frozenset(('executable', 'guard_history', 'servicing_file', 'desired'))

    def run(self, tmp=None, task_vars=None):
        result = super().run(tmp, task_vars)
        self._supports_check_mode = True
        state = self.vorlenctl_json(['get'] + self.options('guard_history', 'servicing_file'), result)
        if result.get('failed'):
            return result
        state['differences'] = differences(state['current'], state['next'])
        if self._task.args.get('desired') is not None:
            # vorlenctl's own comparison, so that the report says what test and set would.
            rc, out, err = self.vorlenctl(['test', '-'], json.dumps(self._task.args['desired']))
            if rc not in (0, 1):
                return dict(result, failed=True, rc=rc, msg=(err or out).strip())
            state['desired'] = json.loads(out)
        state['protected_now'] = bool(state['current'].get('filter'))
        state['protected_next'] = bool(state['next'].get('filter'))
        memory = state.get('memory')
        if memory and memory.get('current_threshold'):
            used = memory['dir_structure'] + memory['file_data']
            state['overlay_used_bytes'] = used
            state['overlay_used_percent'] = int(used * 1000 // memory['current_threshold']) / 10
        result['ansible_facts'] = {'fbwf': state}
        result['changed'] = False
        return result
