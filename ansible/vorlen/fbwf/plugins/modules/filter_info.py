# -*- coding: utf-8 -*-
# The module runs as an action on the controller (plugins/action/filter_info.py).
from __future__ import annotations

DOCUMENTATION = r'''
module: filter_info
short_description: The File-Based Write Filter's state as the host's facts
description:
  - Runs C(vorlenctl get) on the host and returns its answer as the fact
    C(fbwf), with what differs between the running session and the next
    spelt out in C(fbwf.differences), so a play can branch on it.
  - Runs through the connection, as M(vorlen.fbwf.filter) does.
version_added: 0.1.0
options:
  guard_history:
    description: The overlay guard's history, for its level (C(fbwf.guard)).
    type: str
  servicing_file:
    description: The servicing record, for C(fbwf.servicing) and C(fbwf.last_servicing).
    type: str
  desired:
    description:
      - A desired state, as M(vorlen.fbwf.filter) takes it; C(fbwf.desired) is then
        C(vorlenctl test)'s answer, C(in_desired_state) and the C(differences) of the next session.
    type: dict
attributes:
  check_mode:
    support: full
extends_documentation_fragment:
  - vorlen.fbwf.vorlenctl
'''

EXAMPLES = r'''
- vorlen.fbwf.filter_info:

- name: A device running unprotected with the filter due on at the next boot
  ansible.builtin.debug:
    msg: "{{ inventory_hostname }} is unprotected until it reboots"
  when: not fbwf.protected_now and fbwf.protected_next
'''

RETURN = r'''
ansible_facts:
  description: The fact C(fbwf).
  returned: success
  type: dict
  contains:
    fbwf:
      description:
        - C(vorlenctl get)'s answer (C(current), C(next), C(memory), C(size_display),
          C(reboot_pending), C(unavailable), and C(guard), C(servicing), C(last_servicing)
          where there are), with C(differences), C(protected_now), C(protected_next),
          C(overlay_used_bytes) and C(overlay_used_percent).
      type: dict
      contains:
        differences:
          description: Each setting that differs, C(key), C(current) and C(next); exclusions with their C(volume).
          type: list
          elements: dict
        protected_now:
          description: The filter is on in the running session.
          type: bool
        protected_next:
          description: The filter is on for the next session.
          type: bool
'''
