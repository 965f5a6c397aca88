# An Ansible callback for the fleet lab: one JSON line per task start and per
# task result (host, task, changed, the module's per-camera results), with the
# time, appended to $FLEET_LOG.
import json
import os
import time

from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = "notification"
    CALLBACK_NAME = "fleet_log"
    CALLBACK_NEEDS_ENABLED = True

    def _log(self, **event):
        event["time"] = time.time()
        with open(os.environ["FLEET_LOG"], "a") as log:
            log.write(json.dumps(event) + "\n")

    def _result(self, result, status):
        r = result._result
        cameras = r.get("results") if result._task.action.endswith("orvanta_cli") else None
        self._log(event=status, host=result._host.get_name(), task=result._task.get_name(),
                  changed=bool(r.get("changed")), results=cameras, msg=r.get("msg"))

    def v2_playbook_on_task_start(self, task, is_conditional):
        self._log(event="start", task=task.get_name())

    def v2_runner_on_ok(self, result):
        self._result(result, "ok")

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._result(result, "failed")
