# -*- coding: utf-8 -*-
# The module runs as an action on the controller (plugins/action/filter.py),
# which runs vorlenctl on the host through the connection; this file holds
# its documentation.
from __future__ import annotations

DOCUMENTATION = r'''
module: filter
short_description: Set the File-Based Write Filter's next session by desired state
description:
  - Makes the write filter's next session match the settings given, with the
    fewest calls, by running C(vorlenctl set) on the host.
  - Settings not given are left as they are. Changes take effect at the next
    reboot; C(reboot_required) says whether one is needed.
  - Runs vorlenctl through the connection's own command execution, as
    M(ansible.builtin.raw) does, with the desired state on its standard
    input; no module is sent to the host and no Python runs there. The
    task's C(environment) is applied to that command.
version_added: 0.1.0
options:
  filter:
    description: The filter on or off for the next session.
    type: bool
  compression:
    description: The compression of the overlay.
    type: bool
  preallocation:
    description: The pre-allocation of the overlay.
    type: bool
  threshold_mb:
    description:
      - The overlay's size in MB. A reading of 4096 stands for 4096 or more.
    type: int
  protected:
    description: Every volume protected in the next session, such as C(C:).
    type: list
    elements: str
  exclusions:
    description:
      - Each volume named gets this whole exclusion list; volumes not named
        keep theirs. A volume named here must be protected.
    type: dict
  servicing:
    description:
      - The name of the servicing in progress this change belongs to; without
        it, a device in servicing is refused (vorlenctl exits 1618).
    type: str
  servicing_file:
    description: The servicing record on the host (vorlenctl's default beside the guard's history).
    type: str
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
extends_documentation_fragment:
  - vorlen.fbwf.vorlenctl
'''

EXAMPLES = r'''
- name: The filter on, C: protected, \temp excluded
  vorlen.fbwf.filter:
    filter: true
    protected: ["C:"]
    exclusions:
      "C:": ['\temp']
  register: fbwf

- name: Reboot where the next session differs
  ansible.windows.win_reboot:
  when: fbwf.reboot_required
'''

RETURN = r'''
reboot_required:
  description: The next session differs from the running one.
  type: bool
  returned: always
calls:
  description: The library calls made (or, in check mode, that would be made), each with its status.
  type: list
  elements: dict
  returned: always
before:
  description: The next session before the run.
  type: dict
  returned: always
after:
  description: The next session after the run (predicted in check mode).
  type: dict
  returned: always
'''
