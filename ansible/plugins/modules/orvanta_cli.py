#!/usr/bin/python
# -*- coding: utf-8 -*-
# Runs orvanta-cli on a line PC for the cameras on its own segments and turns
# its JSON results into an Ansible result: changed when a camera was written
# (in check mode: would be), failed when any camera failed.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: orvanta_cli
short_description: Program bitstreams, write parameter files and store IP configurations on GigE Vision cameras
description:
  - Runs C(orvanta-cli COMMAND --json) on the managed PC, which reaches the cameras on its own network
    segments, and reports one result per camera.
  - C(changed) is true when any camera was written. With I(changed_only) (the default) a camera that
    already holds the file, or already stores the IP configuration, is left alone and reported
    C(unchanged), so a second run changes nothing.
  - In check mode the command runs with C(--dry-run) - every check and read of a real run, no write of
    any kind - and C(changed) says whether a real run would write.
  - The task fails when any camera fails (a verify error, a camera that stops answering, an error
    status), when a selector matches no camera, or when the command refuses before anything is sent.
  - Every real run is recorded in the PC's history file (see C(orvanta-cli history)).
version_added: "1.0.0"
author: Orvanta maintainers
options:
  command:
    description: What to do on the cameras.
    type: str
    required: true
    choices: [program, write-param, ip-config]
  file:
    description: The bitstream (C(program)) or parameter file (C(write-param)), a path on the managed PC.
    type: path
  cameras:
    description: Cameras by IP address, MAC or serial number (C(-c)). C(ip-config) takes exactly one.
    type: list
    elements: str
    default: []
  all:
    description: Every camera the PC finds (C(--all)); not for C(ip-config).
    type: bool
    default: false
  changed_only:
    description:
      - Reads each sector first and writes only those that differ (C(--changed-only)); a camera that
        holds the file already is C(unchanged). Needs firmware that reads its flash back.
      - C(ip-config) always compares the stored configuration first.
    type: bool
    default: true
  allow_parameter_area:
    description: Programs a bitstream that reaches the camera's parameter area (C(--yes)).
    type: bool
    default: false
  jobs:
    description: At most this many cameras at once (default, all of them).
    type: int
  interface:
    description: Discover on this PC address or network card only.
    type: str
  settings:
    description: A setting.ini to honour, as the window does.
    type: path
  history:
    description: The history file on the PC (default, the user's state folder or C(ORVANTA_HISTORY)).
    type: path
  mode:
    description: The IP configuration C(ip-config) stores.
    type: str
    choices: [static, dhcp, lla]
  ip:
    description: The camera's address, for a static configuration.
    type: str
  mask:
    description: The camera's subnet mask, for a static configuration.
    type: str
  gateway:
    description: The camera's gateway, for a static configuration.
    type: str
  executable:
    description: The orvanta-cli program on the managed PC.
    type: path
    default: orvanta-cli
notes:
  - Supports check mode. Nothing runs on the controller; the PC needs orvanta-cli and its cameras.
"""

EXAMPLES = r"""
- name: Program a bitstream into every camera of this PC, only the sectors that differ
  orvanta.cameras.orvanta_cli:
    command: program
    file: /var/tmp/rollout/cam_105_top.bit
    all: true

- name: Write a parameter file into two cameras
  orvanta.cameras.orvanta_cli:
    command: write-param
    file: /var/tmp/rollout/line3.hex
    cameras: [AB1234, "00:11:22:33:44:aa"]

- name: Store a static address in one camera (unchanged when it already stores it)
  orvanta.cameras.orvanta_cli:
    command: ip-config
    cameras: [AB1234]
    mode: static
    ip: 192.168.2.14
    mask: 255.255.255.0
    gateway: 192.168.2.254
"""

RETURN = r"""
results:
  description: One entry per camera, as C(orvanta-cli --json) prints it.
  returned: when the command ran its jobs
  type: list
  elements: dict
  sample:
    - ip: 192.168.2.14
      mac: "00:11:22:33:44:aa"
      serial: AB1234
      model: LabCam GX
      nic: 192.168.2.10
      result: unchanged
      sector: null
      message: "Unchanged: the camera already holds this bitstream; nothing was programmed."
      changed: false
      seconds: 0.8
cameras_changed:
  description: How many cameras were written (in check mode, would be).
  returned: always
  type: int
cmd:
  description: The command line that ran.
  returned: always
  type: list
  elements: str
rc:
  description: The exit status of orvanta-cli (0 every camera succeeded, 1 a job failed, 2 a refusal, 3 no match).
  returned: when the command ran
  type: int
stderr:
  description: What orvanta-cli printed on its standard error (progress, refusals, warnings).
  returned: when the command ran
  type: str
"""

import json

from ansible.module_utils.basic import AnsibleModule

SUCCEEDED = ("success", "done", "unchanged", "would-change")


def build_command(params, check_mode):
    """The orvanta-cli command line for the module's parameters; ValueError when they do not fit."""
    command = params["command"]
    cameras = params.get("cameras") or []
    if not cameras and not params.get("all"):
        raise ValueError("name the cameras (cameras) or set all")
    argv = [params.get("executable") or "orvanta-cli", command, "--json"]
    for selector in cameras:
        argv += ["-c", selector]
    if command == "ip-config":
        if params.get("all") or len(cameras) != 1:
            raise ValueError("ip-config works on exactly one camera")
        mode = params.get("mode")
        if not mode:
            raise ValueError("ip-config needs a mode")
        addresses = [params.get(k) for k in ("ip", "mask", "gateway")]
        if mode == "static" and not all(addresses):
            raise ValueError("a static configuration needs ip, mask and gateway")
        if mode != "static" and any(addresses):
            raise ValueError("only a static configuration takes addresses")
    elif not params.get("file"):
        raise ValueError("%s needs a file" % command)
    if params.get("all"):
        argv.append("--all")
    if params.get("jobs") and command != "ip-config":
        argv += ["--jobs", str(params["jobs"])]
    for option in ("interface", "settings", "history"):
        if params.get(option):
            argv += ["--" + option, params[option]]
    if check_mode:
        argv.append("--dry-run")
    if command == "ip-config":
        argv.append(params["mode"])
        if params["mode"] == "static":
            argv += ["--ip", params["ip"], "--mask", params["mask"], "--gateway", params["gateway"]]
        return argv
    if params.get("changed_only"):
        argv.append("--changed-only")
    if command == "program" and params.get("allow_parameter_area"):
        argv.append("--yes")
    argv.append(params["file"])
    return argv


def summarize(rc, stdout, stderr, check_mode):
    """changed, failed, msg and the per-camera results of one orvanta-cli run."""
    try:
        results = json.loads(stdout) if stdout.strip() else []
    except ValueError:
        results = []
    if not isinstance(results, list):
        results = []
    if check_mode:
        touched = [r for r in results if r.get("result") == "would-change"]
    else:
        touched = [r for r in results if r.get("changed") is True]
    failures = [r for r in results if r.get("result") not in SUCCEEDED]
    failed = rc != 0 or bool(failures) or not results

    def who(r):
        return " ".join(str(r.get(k) or "") for k in ("ip", "mac", "serial")).strip()

    if failures:
        msg = "%d of %d cameras failed: %s" % (
            len(failures), len(results),
            "; ".join("%s: %s: %s" % (who(r), r.get("result"), r.get("message")) for r in failures))
    elif failed:
        msg = stderr.strip() or "orvanta-cli exited with status %d and printed no result" % rc
    else:
        msg = "%d cameras: %d %s, %d unchanged" % (
            len(results), len(touched), "would change" if check_mode else "changed",
            len(results) - len(touched))
    return {
        "changed": bool(touched),
        "failed": failed,
        "msg": msg,
        "results": results,
        "cameras_changed": len(touched),
    }


def main():
    module = AnsibleModule(
        argument_spec=dict(
            command=dict(type="str", required=True, choices=["program", "write-param", "ip-config"]),
            file=dict(type="path"),
            cameras=dict(type="list", elements="str", default=[]),
            all=dict(type="bool", default=False),
            changed_only=dict(type="bool", default=True),
            allow_parameter_area=dict(type="bool", default=False),
            jobs=dict(type="int"),
            interface=dict(type="str"),
            settings=dict(type="path"),
            history=dict(type="path"),
            mode=dict(type="str", choices=["static", "dhcp", "lla"]),
            ip=dict(type="str"),
            mask=dict(type="str"),
            gateway=dict(type="str"),
            executable=dict(type="path", default="orvanta-cli"),
        ),
        supports_check_mode=True,
    )
    try:
        argv = build_command(module.params, module.check_mode)
    except ValueError as e:
        module.fail_json(msg=str(e), cmd=[], cameras_changed=0)
    rc, stdout, stderr = module.run_command(argv)
    summary = summarize(rc, stdout, stderr, module.check_mode)
    for line in stderr.splitlines():
        if "history file" in line:
            module.warn(line)
    failed = summary.pop("failed")
    if failed:
        module.fail_json(cmd=argv, rc=rc, stderr=stderr, **summary)
    module.exit_json(cmd=argv, rc=rc, stderr=stderr, **summary)


if __name__ == "__main__":
    main()
