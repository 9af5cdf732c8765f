# -*- coding: utf-8 -*-
# vorlenctl commit VOLUME PATH... on the host.
from __future__ import annotations

from ansible_collections.vorlen.fbwf.plugins.plugin_utils.vorlenctl import VorlenctlAction


class ActionModule(VorlenctlAction):
    _VALID_ARGS = frozenset(('volume', 'paths', 'executable'))

    def run(self, tmp=None, task_vars=None):
        result = super().run(tmp, task_vars)
        self._supports_check_mode = True
        args = self._task.args
        paths = args.get('paths') or []
        if not args.get('volume') or not paths:
            return dict(result, failed=True, msg='commit needs a volume and one or more paths')
        if self._task.check_mode:
            return dict(result, changed=True, files=[{'path': p, 'committed': None} for p in paths])
        answer = self.vorlenctl_json(['commit', args['volume']] + list(paths), result)
        if isinstance(answer, dict) and 'files' in answer:
            result.update(files=answer['files'], changed=answer['committed'] > 0)
            if answer['failed']:
                result['failed'] = True
                result['msg'] = '%d of %d files could not be committed: %s' % (
                    answer['failed'], len(paths),
                    '; '.join('%s: %s' % (f['path'], f['error']) for f in answer['files'] if not f['committed']))
        return result
