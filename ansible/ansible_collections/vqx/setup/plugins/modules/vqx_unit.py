#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2026 VQX Setup Utility developers. All rights reserved.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: vqx_unit
short_description: Make a VQX-2 unit hold a snapshot's settings, through vqxctl
description:
  - Runs C(vqxctl apply) on the managed host against the VQX-2 on a serial port (or any
    port name vqxctl takes, network ports included). Only the fields that differ are
    sent, then SAVE; vqxctl waits for the reboot, reads the unit again and verifies it.
  - A unit that already holds the settings is only read, and the task reports C(ok).
  - In check mode (and for the diff of a check run) only C(vqxctl apply --dry-run) runs,
    which reads the unit and sends nothing else.
  - Every run escapes the unit into its command mode for about five seconds and returns
    it to transparent mode afterwards, also when the task fails.
version_added: "1.3.7"
options:
  port:
    description:
      - The unit's port, as vqxctl names it (C(/dev/ttyUSB0), C(/dev/serial/by-id/...),
        C(ttyS0), a network port such as C(rfc2217://host:port)). Passed to vqxctl unchanged.
      - Either I(port) or I(mac) with I(search_ports) is required.
    type: str
  mac:
    description:
      - The unit's MAC address (any case, C(:) or C(-) between the bytes).
      - With I(port), the unit there must have this address, or the task fails before
        anything is written (a re-plugged cable cannot provision the wrong unit).
      - Without I(port), the ports of I(search_ports) are read in turn until the unit
        with this address answers. Each port read costs an escape (about six seconds).
    type: str
  search_ports:
    description: Ports to look for the unit of I(mac) on, in this order.
    type: list
    elements: str
  snapshot:
    description:
      - The settings, as C(vqxctl read --format json) writes them (any subset of the
        fields); an absolute path on the managed host, or the fields as a dict.
      - Fields absent from it are left alone.
    type: raw
  template:
    description:
      - Settings shared by many units (an absolute path on the managed host, or a dict),
        with I(values) merged over them per unit.
    type: raw
  values:
    description:
      - Snapshot fields (C(name), C(ipAddress), C(voipPort), ...) and their values for this
        unit, merged over I(template) (or I(snapshot)). A value given here replaces the
        template's value and list text alike (C(vocoder) replaces C(vocoder) and C(vocoderText)).
    type: dict
  reboot_wait:
    description: Seconds to leave the unit alone after SAVE (vqxctl's default is 10).
    type: float
  detect:
    description:
      - Find the unit's line settings first (C(vqxctl --detect)); I(baud) and the other
        line options are then not needed. The search can take minutes; I(rates) and
        I(framings) narrow it.
    type: bool
    default: false
  rates:
    description: With I(detect), the baud rates to try.
    type: list
    elements: int
  framings:
    description: With I(detect), the framings to try (C(8N1), C(7E1), ...).
    type: list
    elements: str
  baud:
    description: The line's baud rate (vqxctl's default is 9600).
    type: int
  data_bits:
    description: Data bits (vqxctl's default is 8).
    type: int
    choices: [7, 8]
  stop_bits:
    description: Stop bits (vqxctl's default is 1).
    type: int
    choices: [1, 2]
  parity:
    description: Parity (vqxctl's default is N).
    type: str
    choices: [N, E, O]
  vqxctl:
    description: The vqxctl program; by default the one found on the PATH.
    type: path
notes:
  - Supports check mode and diff mode.
  - Requires vqxctl 1.3.7 or newer on the managed host (C(apply --format json)).
author:
  - VQX Setup Utility developers
"""

EXAMPLES = r"""
- name: Provision the units of this site
  vqx.setup.vqx_unit:
    port: "{{ item.port }}"
    template: "{{ vqx_template }}"
    values: "{{ item.values }}"
  loop: "{{ vqx_units }}"

- name: The unit with this MAC, on one of the site's adapters
  vqx.setup.vqx_unit:
    mac: "00:50:C2:12:34:56"
    search_ports: [/dev/ttyUSB0, /dev/ttyUSB1]
    snapshot: /etc/vqx/tower.json
"""

RETURN = r"""
port:
  description: The port the unit was found on.
  returned: always
  type: str
changes:
  description: The fields that differed, each with C(field), C(name), C(unit) (before) and C(snapshot).
  returned: when the unit was read
  type: list
  elements: dict
lines:
  description: The command lines sent (in check mode, the ones that would be sent), SAVE included.
  returned: when the unit was read
  type: list
  elements: str
verified:
  description: The unit holds every setting of the snapshot (false in check mode when something differs).
  returned: when the unit was read
  type: bool
rc:
  description: vqxctl's exit code.
  returned: when vqxctl ran
  type: int
stderr:
  description: vqxctl's messages.
  returned: when vqxctl ran
  type: str
"""

import json
import os
import re

from ansible.module_utils.basic import AnsibleModule


def check_path(module, path, what):
    # A module runs in a directory of Ansible's choosing: a relative path would name a
    # file nobody meant.
    if not os.path.isabs(path):
        module.fail_json(msg="%s: %s is not an absolute path on the managed host" % (what, path))


def load_settings(module, source, what):
    """A dict as given, or the JSON object of a file on this host."""
    if isinstance(source, dict):
        return dict(source)
    if not isinstance(source, str):
        module.fail_json(msg="%s: expected a file path or a dict of snapshot fields" % what)
    check_path(module, source, what)
    try:
        with open(source, "rb") as f:
            loaded = json.loads(f.read().decode("utf-8"))
    except (OSError, ValueError) as e:
        module.fail_json(msg="%s: %s: %s" % (what, source, e))
    if not isinstance(loaded, dict):
        module.fail_json(msg="%s: %s does not hold a JSON object" % (what, source))
    return loaded


def snapshot_file(module):
    """The path of the snapshot vqxctl applies: the user's own file when it is used as it
    is (vqxctl then names it in its messages), else the merged fields in a temporary file."""
    p = module.params
    base = p["snapshot"] if p["snapshot"] is not None else p["template"]
    what = "snapshot" if p["snapshot"] is not None else "template"
    if isinstance(base, str) and not p["values"]:
        check_path(module, base, what)
        return base
    fields = load_settings(module, base, what)
    for key in p["values"] or {}:
        # A list value and its text (vocoder and vocoderText) must agree: the unit's own
        # value replaces both of the template's.
        fields.pop(key[:-4] if key.endswith("Text") else key + "Text", None)
    fields.update(p["values"] or {})
    path = os.path.join(module.tmpdir, "vqx-snapshot.json")
    with open(path, "w") as f:
        json.dump(fields, f, indent=2)
    return path


def connection_args(module, port):
    p = module.params
    args = ["--port", port]
    for option, flag in (("baud", "--baud"), ("data_bits", "--data-bits"), ("stop_bits", "--stop-bits"),
                         ("parity", "--parity")):
        if p[option] is not None:
            args += [flag, str(p[option])]
    if p["detect"]:
        args.append("--detect")
        if p["rates"]:
            args += ["--rates", ",".join(str(r) for r in p["rates"])]
        if p["framings"]:
            args += ["--framings", ",".join(p["framings"])]
    return args


def vqxctl_message(rc, err):
    """vqxctl's own words: its 'vqxctl: ...' lines, else whatever it said."""
    lines = [line for line in err.splitlines() if line.startswith("vqxctl: ")]
    text = "\n".join(lines) if lines else err.strip()
    return text or "vqxctl ended with exit code %d and said nothing" % rc


def run_vqxctl(module, args):
    command = [module.params["vqxctl"], "--quiet"] + args
    rc, out, err = module.run_command(command)
    return command, rc, out, err


def fail_from_vqxctl(module, command, rc, out, err, **extra):
    module.fail_json(msg=vqxctl_message(rc, err), rc=rc, stdout=out, stderr=err, cmd=command, **extra)


def normal_mac(text):
    return re.sub(r"[^0-9a-f]", "", (text or "").lower())


def read_mac(module, port):
    command, rc, out, err = run_vqxctl(module, ["read", "--format", "json"] + connection_args(module, port))
    if rc != 0:
        return None, (command, rc, out, err)
    try:
        return json.loads(out).get("macAddress"), None
    except ValueError:
        module.fail_json(msg="vqxctl read printed no JSON on %s" % port, rc=rc, stdout=out, stderr=err, cmd=command)


def find_port(module):
    """The port of the unit to provision; a unit with another MAC is never written to."""
    p = module.params
    if p["mac"] is None:
        return p["port"]
    wanted = normal_mac(p["mac"])
    if len(wanted) != 12:
        module.fail_json(msg="mac: %s is not a MAC address (six bytes in hexadecimal)" % p["mac"])
    if p["port"] is not None:
        found, failure = read_mac(module, p["port"])
        if failure:
            fail_from_vqxctl(module, *failure, port=p["port"])
        if normal_mac(found) != wanted:
            module.fail_json(msg="the unit on %s has MAC %s, not %s; nothing was sent" % (p["port"], found, p["mac"]),
                             port=p["port"])
        return p["port"]
    seen = []
    for port in p["search_ports"] or []:
        found, failure = read_mac(module, port)
        if failure:
            seen.append("%s: %s" % (port, vqxctl_message(failure[1], failure[3])))
            continue
        if normal_mac(found) == wanted:
            return port
        seen.append("%s: MAC %s" % (port, found))
    module.fail_json(msg="no unit with MAC %s on %s" % (p["mac"], ", ".join(p["search_ports"] or [])),
                     searched=seen)


def snapshot_label(params):
    base = params["snapshot"] if params["snapshot"] is not None else params["template"]
    what = base if isinstance(base, str) else ("snapshot" if params["snapshot"] is not None else "template")
    return what + (" with values" if params["values"] else "")


def diff_texts(port, label, changes):
    before = "".join("%s: %s\n" % (c["name"], c["unit"]) for c in changes)
    after = "".join("%s: %s\n" % (c["name"], c["snapshot"]) for c in changes)
    return {"before": before, "after": after, "before_header": "unit on %s" % port, "after_header": label}


def main():
    module = AnsibleModule(
        argument_spec=dict(
            port=dict(type="str"),
            mac=dict(type="str"),
            search_ports=dict(type="list", elements="str"),
            snapshot=dict(type="raw"),
            template=dict(type="raw"),
            values=dict(type="dict"),
            reboot_wait=dict(type="float"),
            detect=dict(type="bool", default=False),
            rates=dict(type="list", elements="int"),
            framings=dict(type="list", elements="str"),
            baud=dict(type="int"),
            data_bits=dict(type="int", choices=[7, 8]),
            stop_bits=dict(type="int", choices=[1, 2]),
            parity=dict(type="str", choices=["N", "E", "O"]),
            vqxctl=dict(type="path"),
        ),
        required_one_of=[("snapshot", "template"), ("port", "mac")],
        mutually_exclusive=[("snapshot", "template"), ("port", "search_ports")],
        required_by={"search_ports": "mac"},
        supports_check_mode=True,
    )
    p = module.params
    if p["port"] is None and not p["search_ports"]:
        module.fail_json(msg="mac without port needs search_ports: the ports to look for the unit on")
    if p["vqxctl"] is None:
        p["vqxctl"] = module.get_bin_path("vqxctl", required=True)

    snapshot = snapshot_file(module)
    port = find_port(module)
    args = ["apply", snapshot, "--format", "json"] + connection_args(module, port)
    if p["reboot_wait"] is not None:
        args += ["--reboot-wait", repr(p["reboot_wait"])]
    if module.check_mode:
        args.append("--dry-run")
    command, rc, out, err = run_vqxctl(module, args)

    report = None
    try:
        report = json.loads(out) if out.strip() else None
    except ValueError:
        pass
    result = dict(port=port, rc=rc, stderr=err, cmd=command)
    if report is not None:
        # Written means a line went out; in check mode, that one would.
        result["changed"] = bool(report["sent"]) if not module.check_mode else bool(report["lines"])
        result.update(changes=report["changes"], lines=report["lines"], verified=report["verified"])
        if module._diff:
            result["diff"] = diff_texts(port, snapshot_label(p), report["changes"])
    if rc != 0:
        result.setdefault("changed", False)
        # vqxctl names the file it was given; merged fields are in a temporary one.
        msg = vqxctl_message(rc, err).replace(snapshot, snapshot_label(p))
        module.fail_json(msg=msg, stdout=out, **result)
    if report is None:
        module.fail_json(msg="vqxctl apply printed no JSON result (vqxctl older than 1.3.7?)", stdout=out, **result)
    for line in err.splitlines():
        if line.startswith("Not applied"):
            module.warn(line)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
