# -*- coding: utf-8 -*-
# The module runs as an action on the controller (plugins/action/servicing_record.py).
from __future__ import annotations

DOCUMENTATION = r'''
module: servicing_record
short_description: The record of a servicing in progress, kept on the device
description:
  - Runs C(vorlenctl servicing) on the host. The role M(vorlen.fbwf.servicing)
    keeps its progress with it; C(vorlenctl check) and C(vorlenctl set) read it.
version_added: 0.1.0
options:
  state:
    description:
      - C(started) writes the record (resuming one of the same name), C(step)
        notes the step, C(ended) moves it aside as the last servicing with
        C(step) as its outcome, C(read) reads it.
    type: str
    choices: [started, step, ended, read]
    default: started
  name:
    description: The servicing's name, for C(started).
    type: str
  step:
    description: The step reached, for C(step) and C(ended).
    type: str
  servicing_file:
    description: The record's file on the host (vorlenctl's default beside the guard's history).
    type: str
extends_documentation_fragment:
  - vorlen.fbwf.vorlenctl
'''

RETURN = r'''
record:
  description: C(in_progress), and C(servicing) with C(since) and C(step) while one is; C(last_servicing) once one ended.
  type: dict
  returned: success
'''
