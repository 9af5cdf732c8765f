# -*- coding: utf-8 -*-
# What every module of the collection shares: vorlenctl on the host, run
# through the connection.
from __future__ import annotations


class ModuleDocFragment:
    DOCUMENTATION = r'''
options:
  executable:
    description: vorlenctl's path on the host.
    type: str
    default: vorlenctl (vorlenctl.exe on Windows)
author:
  - The vorlen developers
'''
