# -*- coding: utf-8 -*-
# The module runs as an action on the controller (plugins/action/commit.py).
from __future__ import annotations

DOCUMENTATION = r'''
module: commit
short_description: Commit cached files to a volume the filter protects
description:
  - Keeps a few named files changed through the overlay without switching the
    filter off, by C(vorlenctl commit VOLUME PATH...) (the filter's
    FbwfCommitFile) on the host, carrying on past a file that fails.
  - Fails when any file could not be committed, naming each with the reason.
version_added: 0.1.0
options:
  volume:
    description: The protected volume, such as C(C:).
    type: str
    required: true
  paths:
    description: The files, from the volume's root, such as C(\app\settings.ini).
    type: list
    elements: str
    required: true
attributes:
  check_mode:
    support: partial
    details: Changes nothing and reports each file as it would be tried.
extends_documentation_fragment:
  - vorlen.fbwf.vorlenctl
'''

EXAMPLES = r'''
- ansible.windows.win_copy:
    src: settings.ini
    dest: 'C:\app\settings.ini'

- vorlen.fbwf.commit:
    volume: "C:"
    paths: ['\app\settings.ini']
'''

RETURN = r'''
files:
  description: Each file's C(path), C(committed), and C(error) where it failed.
  type: list
  elements: dict
  returned: always
'''
