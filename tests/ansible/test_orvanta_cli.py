"""The module's pure parts: the command line it runs, and what it makes of orvanta-cli's results.

    python3 test_orvanta_cli.py PATH/TO/orvanta_cli.py
"""
import importlib.util
import json
import sys
import unittest

spec = importlib.util.spec_from_file_location("orvanta_cli", sys.argv.pop(1))
module = importlib.util.module_from_spec(spec)
spec.loader.exec_module(module)

BASE = dict(command="program", file="/s/cam_101_top.bit", cameras=[], all=False, changed_only=True,
            allow_parameter_area=False, jobs=None, interface=None, settings=None, history=None,
            mode=None, ip=None, mask=None, gateway=None, executable="/opt/orvanta-cli")
STATIC = dict(command="ip-config", file=None, cameras=["AB1"], mode="static", ip="192.0.2.5",
              mask="255.255.255.0", gateway="192.0.2.254")


def camera(result, changed=False, serial="S1"):
    return {"ip": "192.0.2.5", "mac": "02:00:00:00:00:01", "serial": serial, "result": result,
            "message": "text of " + result, "changed": changed}


class CommandLine(unittest.TestCase):
    def test_commands(self):
        cases = [
            ("program, all cameras, only what differs", dict(all=True), False,
             "/opt/orvanta-cli program --json --all --changed-only /s/cam_101_top.bit"),
            ("check mode is a dry run", dict(all=True), True,
             "/opt/orvanta-cli program --json --all --dry-run --changed-only /s/cam_101_top.bit"),
            ("selectors, jobs, history, --yes, every sector", dict(cameras=["AB1", "02:00:00:00:00:02"], jobs=4,
             history="/h.jsonl", allow_parameter_area=True, changed_only=False), False,
             "/opt/orvanta-cli program --json -c AB1 -c 02:00:00:00:00:02 --jobs 4 --history /h.jsonl --yes "
             "/s/cam_101_top.bit"),
            ("write-param with interface and settings", dict(command="write-param", file="/s/p.hex", all=True,
             interface="192.0.2.1", settings="/s/setting.ini"), False,
             "/opt/orvanta-cli write-param --json --all --interface 192.0.2.1 --settings /s/setting.ini "
             "--changed-only /s/p.hex"),
            ("ip-config static", STATIC, True,
             "/opt/orvanta-cli ip-config --json -c AB1 --dry-run static --ip 192.0.2.5 --mask 255.255.255.0 "
             "--gateway 192.0.2.254"),
            ("ip-config dhcp", dict(command="ip-config", file=None, cameras=["AB1"], mode="dhcp", jobs=3), False,
             "/opt/orvanta-cli ip-config --json -c AB1 dhcp"),
        ]
        for name, params, check, expected in cases:
            with self.subTest(name):
                self.assertEqual(" ".join(module.build_command(dict(BASE, **params), check)), expected)

    def test_refused(self):
        cases = [
            ("no camera named", dict(), "name the cameras"),
            ("no file", dict(all=True, file=None), "program needs a file"),
            ("ip-config on every camera", dict(STATIC, all=True), "exactly one camera"),
            ("ip-config on two", dict(STATIC, cameras=["A", "B"]), "exactly one camera"),
            ("static without a gateway", dict(STATIC, gateway=None), "needs ip, mask and gateway"),
            ("dhcp with an address", dict(STATIC, mode="dhcp"), "only a static configuration"),
        ]
        for name, params, words in cases:
            with self.subTest(name):
                with self.assertRaisesRegex(ValueError, words):
                    module.build_command(dict(BASE, **params), False)


class Results(unittest.TestCase):
    def test_summaries(self):
        cases = [
            ("written and unchanged", 0, [camera("success", True), camera("unchanged", serial="S2")], False,
             (True, False, 1, "2 cameras: 1 changed, 1 unchanged")),
            ("all unchanged: no change", 0, [camera("unchanged"), camera("unchanged")], False,
             (False, False, 0, "2 cameras: 0 changed, 2 unchanged")),
            ("a success that wrote nothing is no change", 0, [camera("success", False)], False,
             (False, False, 0, "1 cameras: 0 changed, 1 unchanged")),
            ("check mode: would-change", 0, [camera("would-change"), camera("unchanged")], True,
             (True, False, 1, "2 cameras: 1 would change, 1 unchanged")),
            ("one camera failed", 1, [camera("success", True), camera("verify-error", True, "S2")], False,
             (True, True, 2, "1 of 2 cameras failed: 192.0.2.5 02:00:00:00:00:01 S2: verify-error: "
                             "text of verify-error")),
            ("a failure even with exit 0", 0, [camera("no-answer")], False,
             (False, True, 0, "1 of 1 cameras failed: 192.0.2.5 02:00:00:00:00:01 S1: no-answer: "
                              "text of no-answer")),
        ]
        for name, rc, results, check, expected in cases:
            with self.subTest(name):
                s = module.summarize(rc, json.dumps(results), "", check)
                self.assertEqual((s["changed"], s["failed"], s["cameras_changed"], s["msg"]), expected)
                self.assertEqual(s["results"], results)

    def test_refusal_without_results(self):
        s = module.summarize(3, "", "No camera matched AB9.\n", False)
        self.assertEqual((s["changed"], s["failed"], s["msg"], s["results"]), (False, True, "No camera matched AB9.", []))
        s = module.summarize(1, "not json", "", False)
        self.assertEqual((s["failed"], s["msg"]), (True, "orvanta-cli exited with status 1 and printed no result"))


if __name__ == "__main__":
    unittest.main(verbosity=1)
