#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A ConformU-like check of Skyvarn's Alpaca server: the checks ConformU runs in its default
mode on Focuser 0 and 1, ObservingConditions 0 and Switch 0 (with the switch writes it leaves
off by default, and the members of ASCOM Platform 7), its "Alpaca protocol" checks on each of
them, and the Management API and discovery. Python's standard library only.

Usage: conform_check.py SKYVARN SKYVARN_SIM
         starts the simulated accessories and the program (--connect --alpaca) and checks it;
       conform_check.py --port PORT [--discovery-port PORT]
         checks a server already running on 127.0.0.1.
Prints each issue found and the count per device; exits 1 when there is any.
"""
import http.client
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

HOST = "127.0.0.1"
CLIENT_ID = 123456  # ConformU's test values
TRANSACTION_ID = 67890
BAD_VALUE = "asduio6fghZZ"

NOT_IMPLEMENTED = 0x400
INVALID_VALUE = 0x401
NOT_CONNECTED = 0x407
INVALID_OPERATION = 0x40B

# The interface versions of ASCOM Platform 7.
INTERFACE_VERSIONS = {"focuser": 4, "observingconditions": 2, "switch": 3}
# What DeviceState may hold besides TimeStamp, per the interface documents.
OC_SENSORS = ["CloudCover", "DewPoint", "Humidity", "Pressure", "RainRate", "SkyBrightness",
              "SkyQuality", "SkyTemperature", "StarFWHM", "Temperature", "WindDirection",
              "WindGust", "WindSpeed"]
# The sensors' ranges, as ConformU checks them.
OC_RANGES = {"CloudCover": (0, 100), "DewPoint": (-273.15, 100), "Humidity": (0, 100),
             "Pressure": (0, 1100), "RainRate": (0, 20000), "SkyBrightness": (0, 1000000),
             "SkyQuality": (-20, 30), "StarFWHM": (0, 1000), "SkyTemperature": (-273.15, 100),
             "Temperature": (-273.15, 100), "WindDirection": (0, 360), "WindGust": (0, 1000),
             "WindSpeed": (0, 1000)}

MOVE_SYNC_S = 1.0        # a Move that takes longer is taken as synchronous, as ConformU does
INITIATION_S = 1.0       # what an operation's start (Connect, SetAsync) may take
FOCUSER_TIMEOUT_S = 60   # a move's end
SWITCH_ASYNC_TIMEOUT_S = 30
READ_RETRIES = 5         # sensor readings not ready yet (0x40B), one second apart


class Report:
    def __init__(self):
        self.issues = {}
        self.infos = 0
        self.start = time.monotonic()

    def issue(self, where, test, message):
        self.issues.setdefault(where, []).append("%s: %s" % (test, message))
        print("ISSUE %-22s %-28s %s" % (where, test, message), flush=True)

    def info(self, where, test, message):
        self.infos += 1
        print("INFO  %-22s %-28s %s" % (where, test, message), flush=True)

    def ok(self, where, test, message):
        if os.environ.get("CONFORM_VERBOSE"):
            print("OK    %-22s %-28s %s" % (where, test, message), flush=True)

    def section(self, where):
        self.issues.setdefault(where, [])
        print("---- %s (at %.0f s)" % (where, time.monotonic() - self.start), flush=True)


class AscomError(Exception):
    def __init__(self, number, message):
        super().__init__("0x%X %s" % (number, message))
        self.number = number
        self.message = message


class HttpError(Exception):
    def __init__(self, status, body):
        super().__init__("HTTP %d: %s" % (status, body[:200]))
        self.status = status


def parse_u32(text):
    if not re.fullmatch(r"[0-9]+", text or ""):
        return None
    value = int(text)
    return value if value <= 0xFFFFFFFF else None


class Http:
    """One keep-alive connection to the server, reopened when it drops."""

    def __init__(self, port):
        self.port = port
        self.connection = None

    def send(self, method, path, fields=None, query=None):
        body = None
        headers = {"Accept": "application/json"}
        target = path
        if query is not None:
            target += "?" + query
        if fields is not None:
            if method in ("GET", "HEAD"):
                encoded = urllib.parse.urlencode(fields)
                if encoded:
                    target += ("&" if "?" in target else "?") + encoded
            else:
                body = urllib.parse.urlencode(fields).encode()
                headers["Content-Type"] = "application/x-www-form-urlencoded"
        for attempt in range(2):
            try:
                if self.connection is None:
                    self.connection = http.client.HTTPConnection(HOST, self.port, timeout=60)
                self.connection.request(method, target, body=body, headers=headers)
                answer = self.connection.getresponse()
                data = answer.read()
                if answer.getheader("Connection", "").lower() == "close":
                    self.close()
                return answer.status, answer, data
            except (http.client.HTTPException, ConnectionError, socket.timeout):
                self.close()
                if attempt:
                    raise
        raise AssertionError("unreachable")

    def close(self):
        if self.connection is not None:
            self.connection.close()
            self.connection = None


class Device:
    """An Alpaca device as a client uses it: members read and called, errors raised."""

    def __init__(self, http_, kind, number, client_id=CLIENT_ID):
        self.http = http_
        self.kind = kind
        self.number = number
        self.client_id = client_id
        self.transaction = 0
        self.name = "%s %d" % ({"focuser": "Focuser", "observingconditions":
                                "ObservingConditions", "switch": "Switch"}[kind], number)

    def path(self, member):
        return "/api/v1/%s/%d/%s" % (self.kind, self.number, member.lower())

    def call(self, method, member, **params):
        self.transaction += 1
        fields = dict(params)
        if self.client_id is not None:
            fields["ClientID"] = str(self.client_id)
        fields["ClientTransactionID"] = str(self.transaction)
        status, _, data = self.http.send(method, self.path(member), fields)
        if status != 200:
            raise HttpError(status, data.decode(errors="replace"))
        reply = json.loads(data)
        if reply.get("ErrorNumber", 0) != 0:
            raise AscomError(reply["ErrorNumber"], reply.get("ErrorMessage", ""))
        return reply.get("Value")

    def get(self, member, **params):
        return self.call("GET", member, **params)

    def put(self, member, **params):
        return self.call("PUT", member, **params)

    def timed(self, method, member, **params):
        start = time.monotonic()
        value = self.call(method, member, **params)
        return value, time.monotonic() - start


def fmt(value):
    return str(value).lower() if isinstance(value, bool) else str(value)


# ---------------------------------------------------------------------------------------------
# The Alpaca protocol (ConformU's AlpacaProtocolTestManager)


class Protocol:
    def __init__(self, report, http_, device):
        self.report = report
        self.http = http_
        self.device = device
        self.where = "Protocol " + device.name

    def send(self, test, prefix, path, method, params, expected, accept_invalid=False,
             bad_tid_case=False):
        """One request, judged as ConformU judges it: the HTTP status among those expected (any
        when none is), or 200 with an invalid-value error where that is accepted; on 200 a JSON
        answer with its names cased as the reference writes them, the ClientTransactionID sent
        back and a ServerTransactionID from 1 up."""
        fields = list(params)
        expected_tid = 0
        has_tid = False
        for name, value in fields:
            if name.upper() == "CLIENTTRANSACTIONID":
                has_tid = True
                if method == "GET" or name == "ClientTransactionID":
                    expected_tid = parse_u32(value) or 0
        what = "%s %s" % (test, prefix)
        try:
            status, answer, data = self.http.send(method, path, fields)
        except Exception as e:  # noqa: BLE001 - any failure to get an answer is an issue
            self.report.issue(self.where, test, "%s - no answer: %s" % (prefix, e))
            return None
        reply = None
        if status == 200:
            kind = answer.getheader("Content-Type", "")
            if not kind.startswith("application/json"):
                self.report.issue(self.where, test, "%s - Content-Type %r on a 200 answer"
                                  % (prefix, kind))
                return None
            try:
                reply = json.loads(data)
            except ValueError as e:
                self.report.issue(self.where, test, "%s - the JSON does not parse: %s"
                                  % (prefix, e))
                return None
            for key in ("ClientTransactionID", "ServerTransactionID", "ErrorNumber",
                        "ErrorMessage"):
                if key not in reply:
                    cased = [k for k in reply if k.lower() == key.lower()]
                    self.report.issue(self.where, test, "%s - %s is %s" % (
                        prefix, key, "mis-cased: " + cased[0] if cased else "missing"))
            if not isinstance(reply.get("ErrorNumber"), int) or \
                    not isinstance(reply.get("ErrorMessage"), str):
                self.report.issue(self.where, test, "%s - ErrorNumber or ErrorMessage of the "
                                  "wrong type: %s" % (prefix, data[:200]))
            if has_tid and reply.get("ClientTransactionID") != expected_tid:
                self.report.issue(self.where, test, "%s - ClientTransactionID %s, expected %s"
                                  % (prefix, reply.get("ClientTransactionID"), expected_tid))
            server = reply.get("ServerTransactionID")
            if not isinstance(server, int) or server < 1:
                self.report.issue(self.where, test, "%s - ServerTransactionID %s, expected 1 or "
                                  "greater" % (prefix, server))
        error = reply.get("ErrorNumber", 0) if reply else 0
        if not expected or status in expected:
            if status == 200 and error:
                # ConformU reports an ASCOM error on an expected 200 as information.
                self.report.info(self.where, test, "%s - 200 with error 0x%X: %s"
                                 % (prefix, error, reply.get("ErrorMessage")))
            else:
                self.report.ok(self.where, test, "%s - HTTP %d" % (prefix, status))
        elif status == 200 and accept_invalid and error == INVALID_VALUE:
            self.report.ok(self.where, test, "%s - 200 with an invalid value error" % prefix)
        else:
            self.report.issue(self.where, test, "%s - expected HTTP %s, received %d: %s" % (
                prefix, "/".join(map(str, expected)), status,
                data.decode(errors="replace")[:200]))
        return reply

    def call(self, prefix, member, method, params, expected, **flags):
        self.send("%s %s" % (method, member), prefix, self.device.path(member), method, params,
                  expected, **flags)

    # The parameter lists ConformU sends.
    OK = [("ClientID", str(CLIENT_ID)), ("ClientTransactionID", str(TRANSACTION_ID))]
    EXTRA = OK + [("ExtraParameter", "ExtraValue")]
    ID_LOWER = [("clientid", str(CLIENT_ID)), ("ClientTransactionID", str(TRANSACTION_ID))]
    TID_LOWER = [("ClientID", str(CLIENT_ID)), ("clienttransactionid", str(TRANSACTION_ID))]
    BAD_IDS = [("ClientID is empty", ("ClientID", "")),
               ("ClientID is white space", ("ClientID", "     ")),
               ("ClientID is negative", ("ClientID", "-12345")),
               ("ClientID is a string", ("ClientID", "asdasd")),
               ("ClientTransactionID is empty", ("ClientTransactionID", "")),
               ("ClientTransactionID is white space", ("ClientTransactionID", "     ")),
               ("ClientTransactionID is negative", ("ClientTransactionID", "-67890")),
               ("ClientTransactionID is a string", ("ClientTransactionID", "qweqwe"))]

    def bad_ids(self, member, method, extra):
        for prefix, (name, value) in self.BAD_IDS:
            other = ("ClientTransactionID", str(TRANSACTION_ID)) if name == "ClientID" else \
                ("ClientID", str(CLIENT_ID))
            self.call(prefix, member, method, [(name, value), other] + extra, [400],
                      accept_invalid=True)

    @staticmethod
    def invert(name):
        return "".join(c.lower() if c.isupper() else c.upper() for c in name)

    def get_none(self, member):
        self.call("Good ClientID and ClientTransactionID casing", member, "GET", self.OK, [200])
        self.call("Good casing with additional parameter", member, "GET", self.EXTRA, [200])
        self.call("Different ClientID casing", member, "GET", self.ID_LOWER, [200])
        self.call("Different ClientTransactionID casing", member, "GET", self.TID_LOWER, [200])
        self.bad_ids(member, "GET", [])

    def get_one(self, member, name, value, bad_value=True):
        self.call("Parameter %s (Good casing)" % name, member, "GET", self.OK + [(name, value)],
                  [200])
        self.call("Parameter %s (Good casing with extra parameter)" % name, member, "GET",
                  self.EXTRA + [(name, value)], [200])
        if bad_value:
            self.call("Parameter %s (Bad value)" % name, member, "GET",
                      self.OK + [(name, BAD_VALUE)], [400], accept_invalid=True)
        self.call("Parameter %s (Inverted casing)" % name, member, "GET",
                  self.OK + [(self.invert(name), value)], [200])
        self.call("Different ClientID casing", member, "GET", self.ID_LOWER + [(name, value)],
                  [200])
        self.call("Different ClientTransactionID casing", member, "GET",
                  self.TID_LOWER + [(name, value)], [200])
        self.bad_ids(member, "GET", [(name, value)])

    def put_none(self, member, wait=None):
        for prefix, params, flags in [
                ("Good ID name casing", self.OK, {}),
                ("Good ID casing + extra parameter", self.EXTRA, {}),
                ("Bad ClientID casing", self.ID_LOWER, {}),
                ("Bad ClientTransactionID casing", self.TID_LOWER, {"bad_tid_case": True})]:
            self.call(prefix, member, "PUT", params, [200], **flags)
            if wait:
                wait()
        self.bad_ids(member, "PUT", [])
        if wait:
            wait()

    def put_params(self, member, pairs, wait=None, bad_values=None):
        """PUT with its parameters (name, value): each good, with an extra one, each with a bad
        value (400 or 0x401), each with its name's casing inverted (400), and the IDs'."""
        bad_values = bad_values if bad_values is not None else [True] * len(pairs)
        names = " and ".join(n for n, _ in pairs)
        self.call("Parameters %s (Good casing)" % names, member, "PUT", self.OK + pairs, [200])
        if wait:
            wait()
        self.call("Parameters %s (Good casing + extra)" % names, member, "PUT",
                  self.EXTRA + pairs, [200])
        if wait:
            wait()
        for i, (name, _) in enumerate(pairs):
            if bad_values[i]:
                bad = list(pairs)
                bad[i] = (name, BAD_VALUE)
                self.call("Parameter %s (Bad value)" % name, member, "PUT", self.OK + bad, [400],
                          accept_invalid=True)
        for i, (name, value) in enumerate(pairs):
            cased = list(pairs)
            cased[i] = (self.invert(name), value)
            self.call("Parameter %s (Bad casing)" % name, member, "PUT", self.OK + cased, [400])
            if wait:
                wait()
        self.call("Bad ClientID casing", member, "PUT", self.ID_LOWER + pairs, [200])
        if wait:
            wait()
        self.call("Bad ClientTransactionID casing", member, "PUT", self.TID_LOWER + pairs, [200],
                  bad_tid_case=True)
        if wait:
            wait()
        self.bad_ids(member, "PUT", pairs)
        if wait:
            wait()

    def run(self):
        d = self.device
        self.report.section(self.where)
        connect_true = self.OK + [("Connected", "True")]
        self.call("True", "Connected", "PUT", connect_true, [200])
        # The URL's structure: any 4XX is a correct refusal of a bad device type or number.
        four = [400, 401, 403, 404, 405, 406, 409, 410]
        base = "/api/v1/%s/%d/description"
        for prefix, path in [
                ("Bad Alpaca URL device type (capitalised)", base % (d.kind.upper(), d.number)),
                ("Bad Alpaca URL device type (baddevicetype)", "/api/v1/baddevicetype/0/"
                                                               "description"),
                ("Bad Alpaca URL device number (-1)", "/api/v1/%s/-1/description" % d.kind),
                ("Bad Alpaca URL device number (99999)", "/api/v1/%s/99999/description"
                 % d.kind),
                ("Bad Alpaca URL device number (A)", "/api/v1/%s/A/description" % d.kind),
                ("Bad Alpaca URL method name (descrip)", "/api/v1/%s/%d/descrip"
                 % (d.kind, d.number))]:
            self.send("GET Description", prefix, path, "GET", self.OK, four)
        self.get_none("Connected")
        for prefix, value in [("Bad parameter value - Empty string", ""),
                              ("Bad parameter value - Number", "123456"),
                              ("Bad parameter value - Meaningless string", "asdqwe")]:
            self.call(prefix, "Connected", "PUT", self.OK + [("Connected", value)], [400],
                      accept_invalid=True)
        for member in ("Description", "DriverInfo", "DriverVersion", "InterfaceVersion", "Name",
                       "SupportedActions", "Connecting", "DeviceState"):
            self.get_none(member)
        # Platform 7's methods.
        self.put_none("Connect")
        self.put_none("Disconnect")
        # Connected again, the test's client and the anonymous one (badly cased ClientIDs of
        # PUTs are no ClientIDs).
        self.call("True", "Connected", "PUT", connect_true, [200])
        self.call("True (no ClientID)", "Connected", "PUT",
                  [("ClientTransactionID", str(TRANSACTION_ID)), ("Connected", "True")], [200])
        getattr(self, "run_" + d.kind)()
        self.call("False", "Connected", "PUT", self.OK + [("Connected", "False")], [200])
        # A HEAD is its GET without the body.
        status, answer, data = self.http.send("HEAD", d.path("name"), self.OK)
        get_status, get_answer, get_data = self.http.send("GET", d.path("name"), self.OK)
        if status != 200 or data:
            self.report.issue(self.where, "HEAD Name", "HTTP %d with %d bytes of body"
                              % (status, len(data)))
        elif answer.getheader("Content-Length") != get_answer.getheader("Content-Length"):
            self.report.issue(self.where, "HEAD Name", "Content-Length %s, its GET's %s" % (
                answer.getheader("Content-Length"), get_answer.getheader("Content-Length")))

    def wait_moving(self, focuser):
        end = time.monotonic() + FOCUSER_TIMEOUT_S
        while focuser.get("IsMoving"):
            if time.monotonic() > end:
                self.report.issue(self.where, "PUT Move", "still moving after %d s"
                                  % FOCUSER_TIMEOUT_S)
                return
            time.sleep(0.5)

    def run_focuser(self):
        d = self.device
        for member in ("Absolute", "IsMoving", "MaxIncrement", "MaxStep", "Position", "StepSize",
                       "TempComp"):
            self.get_none(member)
        try:
            comp = fmt(d.get("TempComp"))
        except (AscomError, HttpError):
            comp = "false"
        self.put_params("TempComp", [("TempComp", comp)])
        self.get_none("TempCompAvailable")
        self.get_none("Temperature")
        self.put_none("Halt", lambda: self.wait_moving(d))
        try:
            position = str(d.get("Position"))
        except (AscomError, HttpError):
            position = "1"
        self.put_params("Move", [("Position", position)], lambda: self.wait_moving(d))

    def run_observingconditions(self):
        d = self.device
        self.get_none("AveragePeriod")
        try:
            period = fmt(d.get("AveragePeriod"))
        except (AscomError, HttpError):
            period = "0.0"
        self.put_params("AveragePeriod", [("AveragePeriod", period)])
        for member in OC_SENSORS:
            self.get_none(member)
        self.put_none("Refresh")
        self.get_one("SensorDescription", "SensorName", "Pressure")
        self.get_one("TimeSinceLastUpdate", "SensorName", "Pressure")

    def run_switch(self):
        d = self.device
        self.get_none("MaxSwitch")
        for member in ("CanWrite", "GetSwitch", "GetSwitchDescription", "GetSwitchName",
                       "GetSwitchValue", "MinSwitchValue", "MaxSwitchValue", "CanAsync",
                       "StateChangeComplete"):
            self.get_one(member, "Id", "0")
        try:
            state = fmt(d.get("GetSwitch", Id="0"))
        except (AscomError, HttpError):
            state = "false"
        self.put_params("SetSwitch", [("Id", "0"), ("State", state)])
        try:
            name = d.get("GetSwitchName", Id="0")
        except (AscomError, HttpError):
            name = "Unknown name"
        self.put_params("SetSwitchName", [("Id", "0"), ("Name", name)], bad_values=[True, False])
        try:
            value = fmt(d.get("GetSwitchValue", Id="0"))
        except (AscomError, HttpError):
            value = "0.0"
        self.put_params("SetSwitchValue", [("Id", "0"), ("Value", value)])

        def settled():
            end = time.monotonic() + SWITCH_ASYNC_TIMEOUT_S
            while time.monotonic() < end:
                try:
                    if d.get("StateChangeComplete", Id="0"):
                        return
                except AscomError:
                    return
                time.sleep(0.2)
        self.put_params("SetAsync", [("Id", "0"), ("State", state)], settled)
        self.put_params("SetAsyncValue", [("Id", "0"), ("Value", value)], settled)
        self.get_one("SwitchStep", "Id", "0")


# ---------------------------------------------------------------------------------------------
# The device checks (ConformU's device testers, default mode)


class Tester:
    def __init__(self, report, device):
        self.report = report
        self.d = device
        self.where = device.name

    def issue(self, test, message):
        self.report.issue(self.where, test, message)

    def info(self, test, message):
        self.report.info(self.where, test, message)

    def ok(self, test, message):
        self.report.ok(self.where, test, message)

    def handle(self, test, required, error, context=""):
        """ConformU's HandleException: 0x400 is right for an optional member and for one that
        must not be implemented, wrong for a mandatory one; anything else is an issue."""
        if isinstance(error, AscomError) and error.number == NOT_IMPLEMENTED:
            if required in ("optional", "must not"):
                self.ok(test, "not implemented (%s)" % required)
            else:
                self.issue(test, "%s member answered not implemented: %s %s"
                           % (required, error.message, context))
        else:
            self.issue(test, "unexpected error %s %s" % (error, context))

    def expect_invalid_value(self, test, call, required="mandatory"):
        try:
            call()
            self.issue(test, "no error where an invalid value error was expected")
        except AscomError as e:
            if e.number == INVALID_VALUE:
                self.ok(test, "invalid value error as expected")
            else:
                self.handle(test, required, e, "(an invalid value error was expected)")
        except HttpError as e:
            self.issue(test, "HTTP %d where an invalid value error was expected" % e.status)

    def read(self, test, member, required="mandatory", **params):
        try:
            value = self.d.get(member, **params)
            self.ok(test, fmt(value))
            return value, True
        except (AscomError, HttpError) as e:
            self.handle(test, required, e)
            return None, False

    # Connect and the common members, for every device.

    def connect(self):
        d = self.d
        try:
            if d.get("Connecting"):
                self.issue("Connecting", "true before anything was asked")
            d.put("Connected", Connected="true")
            if not d.get("Connected"):
                self.issue("Connected", "set true without error but reads false")
            d.put("Connected", Connected="false")
            if d.get("Connected"):
                self.issue("Connected", "set false without error but reads true")
            self.disconnected_behaviour("after Connected set false")
            _, took = d.timed("PUT", "Connect")
            if took > INITIATION_S:
                self.issue("Connect", "took %.1f s to start, more than %.1f s"
                           % (took, INITIATION_S))
            end = time.monotonic() + 10
            while d.get("Connecting"):
                if time.monotonic() > end:
                    self.issue("Connecting", "still true 10 s after Connect")
                    break
                time.sleep(0.5)
            if not d.get("Connected"):
                self.issue("Connect", "Connect ended but Connected reads false")
                return False
            return True
        except (AscomError, HttpError) as e:
            self.issue("Connect", "connecting failed, testing abandoned: %s" % e)
            return False

    def needs_connection(self):
        """A member that answers only while the client is connected, and its parameters."""
        return {"focuser": ("Position", {}), "observingconditions": ("Humidity", {}),
                "switch": ("GetSwitch", {"Id": "0"})}[self.d.kind]

    def disconnected_behaviour(self, when):
        d = self.d
        member, params = self.needs_connection()
        for name, call in [(member, lambda: d.get(member, **params)),
                           ("DeviceState", lambda: d.get("DeviceState"))]:
            try:
                call()
                self.issue(name, "answered %s, where not connected (0x407) was expected" % when)
            except AscomError as e:
                if e.number != NOT_CONNECTED:
                    self.issue(name, "error 0x%X %s, where 0x407 was expected" % (e.number, when))
        # What needs no connection stays answered, and another client stays connected.
        for member in ("Name", "Description", "DriverInfo", "InterfaceVersion",
                       "SupportedActions", "Connecting"):
            try:
                d.get(member)
            except (AscomError, HttpError) as e:
                self.issue(member, "%s: %s" % (when, e))
        other = Device(d.http, d.kind, d.number, client_id=d.client_id + 1)
        try:
            if not other.get("Connected"):
                self.issue("Connected", "another client reads false %s" % when)
            other.get(member, **params)
        except (AscomError, HttpError) as e:
            self.issue("Connected", "another client %s: %s" % (when, e))

    def common(self):
        d = self.d
        version, good = self.read("InterfaceVersion", "InterfaceVersion")
        expected = INTERFACE_VERSIONS[d.kind]
        if good and version != expected:
            self.issue("InterfaceVersion", "%s, where Platform 7's is %d" % (version, expected))
        self.read("Connected", "Connected")
        for member in ("Description", "DriverInfo", "DriverVersion", "Name"):
            value, good = self.read(member, member)
            if good and not isinstance(value, str):
                self.issue(member, "not a string: %r" % (value,))
            elif good and not value:
                self.info(member, "empty")
        actions, good = self.read("SupportedActions", "SupportedActions", "optional")
        if good and (not isinstance(actions, list) or
                     any(not isinstance(a, str) or not a for a in actions)):
            self.issue("SupportedActions", "not a list of action names: %r" % (actions,))
        self.device_state()

    def expected_state(self):
        if self.d.kind == "focuser":
            return ["IsMoving", "Position", "Temperature"]
        if self.d.kind == "observingconditions":
            return list(OC_SENSORS)
        count = self.d.get("MaxSwitch")
        return ["%s%d" % (name, i) for name in ("GetSwitch", "GetSwitchValue",
                                                "StateChangeComplete") for i in range(count)]

    def device_state(self):
        try:
            start = time.monotonic()
            state = self.d.get("DeviceState")
            took = time.monotonic() - start
        except (AscomError, HttpError) as e:
            self.issue("DeviceState", "mandatory member failed: %s" % e)
            return {}
        if took > INITIATION_S:
            self.issue("DeviceState", "took %.1f s: it must answer from what is known" % took)
        if not isinstance(state, list):
            self.issue("DeviceState", "not a list: %r" % (state,))
            return {}
        expected = self.expected_state()
        found = {}
        for item in state:
            if not isinstance(item, dict) or set(item) != {"Name", "Value"}:
                self.issue("DeviceState", "an item that is not {Name, Value}: %r" % (item,))
                continue
            name = item["Name"]
            if name in expected or name == "TimeStamp":
                found[name] = item["Value"]
            elif any(name.lower() == e.lower() for e in expected + ["TimeStamp"]):
                self.issue("DeviceState", "mis-cased property name %s" % name)
            else:
                self.issue("DeviceState", "a non-operational property: %s = %r"
                           % (name, item["Value"]))
        if "TimeStamp" not in found:
            self.issue("DeviceState", "no TimeStamp")
        elif not re.match(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d", str(found["TimeStamp"])):
            self.issue("DeviceState", "TimeStamp is not an ISO 8601 time: %r"
                       % (found["TimeStamp"],))
        for name in expected:
            if name not in found:
                self.info("DeviceState", "operational property %s not included" % name)
        return found

    def disconnect(self):
        d = self.d
        try:
            _, took = d.timed("PUT", "Disconnect")
            if took > INITIATION_S:
                self.issue("Disconnect", "took %.1f s to start" % took)
            end = time.monotonic() + 10
            while d.get("Connecting"):
                if time.monotonic() > end:
                    self.issue("Connecting", "still true 10 s after Disconnect")
                    break
                time.sleep(0.5)
            if d.get("Connected"):
                self.issue("Disconnect", "Disconnect ended but Connected reads true")
            self.disconnected_behaviour("after Disconnect")
        except (AscomError, HttpError) as e:
            self.issue("Disconnect", "failed: %s" % e)

    def run(self):
        self.report.section(self.where)
        if not self.connect():
            return
        self.common()
        self.properties()
        self.methods()
        self.disconnect()


class FocuserTester(Tester):
    def properties(self):
        d = self.d
        self.absolute, _ = self.read("Absolute", "Absolute")
        moving, good = self.read("IsMoving", "IsMoving")
        if good and moving:
            self.issue("IsMoving", "true at the start of the tests")
        self.max_step, _ = self.read("MaxStep", "MaxStep")
        self.max_increment, good = self.read("MaxIncrement", "MaxIncrement")
        if good and self.max_step is not None and not 1 <= self.max_increment <= self.max_step:
            self.issue("MaxIncrement", "%s, not from 1 to MaxStep" % self.max_increment)
        if self.absolute:
            position, good = self.read("Position", "Position", "must")
            if good and not 0 <= position <= (self.max_step or 0):
                self.issue("Position", "%s is outside 0 to MaxStep" % position)
        else:
            try:
                d.get("Position")
                self.issue("Position", "a relative focuser that answers Position")
            except AscomError as e:
                self.handle("Position", "must not", e)
        step, good = self.read("StepSize", "StepSize", "optional")
        if good and step <= 0:
            self.issue("StepSize", "%s, not above 0" % step)
        self.comp_available, _ = self.read("TempCompAvailable", "TempCompAvailable")
        self.comp, good = self.read("TempComp Read", "TempComp")
        if good and self.comp and not self.comp_available:
            self.issue("TempComp Read", "true while TempCompAvailable is false")
        self.comp_true_ok = self.comp_false_ok = False
        if self.comp_available:
            try:
                d.put("TempComp", TempComp="true")
                self.comp_true_ok = True
                if not d.get("TempComp"):
                    self.issue("TempComp Write", "set true but reads false")
                d.put("TempComp", TempComp="false")
                self.comp_false_ok = True
                if d.get("TempComp"):
                    self.issue("TempComp Write", "set false but reads true")
            except (AscomError, HttpError) as e:
                self.handle("TempComp Write", "must", e)
        else:
            try:
                d.put("TempComp", TempComp="true")
                self.issue("TempComp Write", "no error setting it true without compensation")
            except AscomError as e:
                self.handle("TempComp Write", "must not", e)
        try:
            d.put("TempComp", TempComp=fmt(bool(self.comp)))
        except (AscomError, HttpError):
            pass
        temperature, good = self.read("Temperature", "Temperature", "optional")
        if good and not -50 < temperature < 50:
            self.issue("Temperature", "%s is outside -50 to 50" % temperature)

    def move_to(self, test, target, expected=None):
        """Move, then IsMoving until it ends, Position answering at once meanwhile; the end at
        the target (or where a move beyond the travel must stop)."""
        d = self.d
        if d.get("IsMoving"):
            self.issue(test, "already moving before the move")
            return
        _, took = d.timed("PUT", "Move", Position=str(target))
        if took > MOVE_SYNC_S:
            # A synchronous move: it must have ended.
            if d.get("IsMoving"):
                self.issue(test, "Move took %.1f s (synchronous) but IsMoving is true after it"
                           % took)
        saw_moving = False
        end = time.monotonic() + FOCUSER_TIMEOUT_S
        while True:
            if not d.get("IsMoving"):
                break
            saw_moving = True
            _, took = d.timed("GET", "Position")
            if took > 1.0:
                self.issue(test, "Position took %.1f s to answer during the move" % took)
            state = self.device_state_items()
            if state.get("IsMoving") is False:
                self.issue(test, "DeviceState says IsMoving false during the move")
            if time.monotonic() > end:
                self.issue(test, "still moving after %d s" % FOCUSER_TIMEOUT_S)
                return
            time.sleep(0.5)
        position = d.get("Position")
        want = target if expected is None else expected
        if position != want:
            self.issue(test, "ended at %s, not %s" % (position, want))
        else:
            self.ok(test, "ended at %s%s" % (position, "" if saw_moving else " (no move seen)"))

    def device_state_items(self):
        try:
            return {i["Name"]: i["Value"] for i in self.d.get("DeviceState")}
        except (AscomError, HttpError, TypeError, KeyError) as e:
            self.issue("DeviceState", "during a move: %s" % e)
            return {}

    def move_and_back(self, test, check):
        d = self.d
        origin = d.get("Position")
        target = origin + self.max_step // 10
        if target >= self.max_step:
            target = origin - self.max_step // 10
        if abs(target - origin) > self.max_increment:
            target = origin + self.max_increment
        self.move_to(test, target) if check else self.move_to(test, target, d.get("Position"))
        self.move_to(test + " (back)", origin)

    def methods(self):
        d = self.d
        try:
            d.put("Halt")
        except (AscomError, HttpError) as e:
            self.handle("Halt", "optional", e)
        # Halt is not implemented: nothing else to wait for.
        try:
            if self.comp_false_ok:
                d.put("TempComp", TempComp="false")
            self.move_and_back("Move - TempComp False", True)
        except (AscomError, HttpError) as e:
            self.handle("Move", "mandatory", e)
        if not self.comp_true_ok:
            return
        try:
            # IFocuserV3 and later: a move while compensating is made, not refused.
            d.put("TempComp", TempComp="true")
            origin = d.get("Position")
            target = min(origin + self.max_step // 10, self.max_step)
            d.put("Move", Position=str(target))
            end = time.monotonic() + FOCUSER_TIMEOUT_S
            while d.get("IsMoving") and time.monotonic() < end:
                time.sleep(0.5)
            if not d.get("TempComp"):
                self.issue("Move - TempComp True", "TempComp reads false after the move")
            d.put("TempComp", TempComp="false")
            self.move_to("Move - TempComp True (back)", origin)
        except (AscomError, HttpError) as e:
            self.handle("Move - TempComp True", "mandatory", e)
        if self.absolute:
            # Compensation off for the moves to the travel's ends, as ConformU sets it.
            try:
                if self.comp_false_ok:
                    d.put("TempComp", TempComp="false")
            except (AscomError, HttpError) as e:
                self.handle("TempComp Write", "must", e)
            for test, target, expected in [("Move - To 0", 0, 0), ("Move - Below 0", -10, 0),
                                           ("Move - To MidPoint", self.max_step // 2, None),
                                           ("Move - To MaxStep", self.max_step, None),
                                           ("Move - Above MaxStep", self.max_step + 10,
                                            self.max_step)]:
                try:
                    self.move_to(test, target, expected)
                except (AscomError, HttpError) as e:
                    self.handle(test, "mandatory", e, "(it must stop at the travel's end)")
        try:
            d.put("TempComp", TempComp=fmt(bool(self.comp)))
        except (AscomError, HttpError):
            pass


class ObservingConditionsTester(Tester):
    def double(self, test, call, low, high, required):
        """A reading, retried while it is not ready yet (0x40B); nan when not implemented."""
        for attempt in range(READ_RETRIES + 1):
            try:
                value = call()
                if not isinstance(value, (int, float)) or isinstance(value, bool):
                    self.issue(test, "not a number: %r" % (value,))
                elif not low <= value <= high:
                    self.issue(test, "%s is outside %s to %s" % (value, low, high))
                else:
                    self.ok(test, str(value))
                return value
            except AscomError as e:
                if e.number == INVALID_OPERATION and attempt < READ_RETRIES:
                    self.info(test, "not ready yet, again in 1 s")
                    time.sleep(1)
                    continue
                if e.number != INVALID_OPERATION:
                    self.handle(test, required, e)
                return None
            except HttpError as e:
                self.issue(test, str(e))
                return None
        return None

    def properties(self):
        d = self.d
        period = self.double("AveragePeriod", lambda: d.get("AveragePeriod"), 0, 100000,
                             "mandatory")
        if period is not None:
            self.expect_invalid_value("AveragePeriod Write -2",
                                      lambda: d.put("AveragePeriod", AveragePeriod="-2.0"))
            try:
                d.put("AveragePeriod", AveragePeriod="0.0")
            except (AscomError, HttpError) as e:
                self.handle("AveragePeriod Write 0", "mandatory", e)
            try:
                d.put("AveragePeriod", AveragePeriod="5.0")
            except AscomError as e:
                if e.number != INVALID_VALUE:
                    self.handle("AveragePeriod Write 5", "mandatory", e)
            try:
                d.put("AveragePeriod", AveragePeriod=fmt(period))
            except (AscomError, HttpError) as e:
                self.handle("AveragePeriod Write restore", "mandatory", e)
        self.values = {}
        for sensor in OC_SENSORS:
            low, high = OC_RANGES[sensor]
            self.values[sensor] = self.double(sensor, lambda s=sensor: d.get(s), low, high,
                                              "optional")
        if (self.values["DewPoint"] is None) != (self.values["Humidity"] is None):
            self.issue("DewPoint & Humidity", "one is implemented and the other is not")
        if self.values["WindSpeed"] == 0 and self.values["WindDirection"] not in (0, None):
            self.issue("WindSpeed", "wind speed 0 but direction %s" % self.values["WindDirection"])

    def methods(self):
        d = self.d
        self.double("TimeSinceLastUpdate latest", lambda: d.get("TimeSinceLastUpdate",
                                                               SensorName=""),
                    -1, 1e300, "mandatory")
        times, descriptions = {}, {}
        for sensor in OC_SENSORS:
            times[sensor] = self.double("TimeSinceLastUpdate " + sensor,
                                        lambda s=sensor: d.get("TimeSinceLastUpdate",
                                                               SensorName=s),
                                        -1, 1e300, "optional")
        try:
            d.put("Refresh")
        except (AscomError, HttpError) as e:
            self.handle("Refresh", "optional", e)
        for sensor in OC_SENSORS:
            try:
                text = d.get("SensorDescription", SensorName=sensor)
                if not isinstance(text, str):
                    self.issue("SensorDescription " + sensor, "not a string: %r" % (text,))
                descriptions[sensor] = text
            except (AscomError, HttpError) as e:
                self.handle("SensorDescription " + sensor, "optional", e)
                descriptions[sensor] = None
        for sensor in OC_SENSORS:
            parts = [self.values[sensor] is not None, descriptions[sensor] is not None,
                     times[sensor] is not None]
            if any(parts) and not all(parts):
                self.issue("Consistency - " + sensor, "value %s, description %s, time since "
                           "last update %s: all or none must be implemented" % tuple(parts))
        # Beyond ConformU: a sensor name that is none is an invalid value.
        self.expect_invalid_value("SensorDescription bad name",
                                  lambda: d.get("SensorDescription", SensorName=BAD_VALUE))
        self.expect_invalid_value("TimeSinceLastUpdate bad name",
                                  lambda: d.get("TimeSinceLastUpdate", SensorName=BAD_VALUE))


class SwitchTester(Tester):
    def properties(self):
        value, good = self.read("MaxSwitch", "MaxSwitch")
        self.count = value if good and isinstance(value, int) and value >= 1 else 0
        if good and not self.count:
            self.issue("MaxSwitch", "invalid value %r" % (value,))

    def out_of_range(self):
        d = self.d
        calls = {
            "CanWrite": lambda i: d.get("CanWrite", Id=i),
            "GetSwitch": lambda i: d.get("GetSwitch", Id=i),
            "GetSwitchDescription": lambda i: d.get("GetSwitchDescription", Id=i),
            "GetSwitchName": lambda i: d.get("GetSwitchName", Id=i),
            "GetSwitchValue": lambda i: d.get("GetSwitchValue", Id=i),
            "MaxSwitchValue": lambda i: d.get("MaxSwitchValue", Id=i),
            "MinSwitchValue": lambda i: d.get("MinSwitchValue", Id=i),
            "SetSwitch": lambda i: d.put("SetSwitch", Id=i, State="false"),
            "SetSwitchValue": lambda i: d.put("SetSwitchValue", Id=i, Value="0.0"),
            "SwitchStep": lambda i: d.get("SwitchStep", Id=i),
            "CanAsync": lambda i: d.get("CanAsync", Id=i),
            "CancelAsync": lambda i: d.put("CancelAsync", Id=i),
            "SetAsync": lambda i: d.put("SetAsync", Id=i, State="false"),
            "SetAsyncValue": lambda i: d.put("SetAsyncValue", Id=i, Value="0.0"),
            "StateChangeComplete": lambda i: d.get("StateChangeComplete", Id=i),
        }
        for name, call in calls.items():
            for i in (-1, self.count, self.count + 1):
                self.expect_invalid_value("SwitchNumber %s(%d)" % (name, i),
                                          lambda c=call, i=i: c(str(i)), "must")

    def value_is(self, test, i, want):
        value = self.d.get("GetSwitchValue", Id=str(i))
        if abs(value - want) > 1e-9 * max(1, abs(want)):
            self.issue(test, "GetSwitchValue %s, not %s" % (value, want))
        state = self.d.get("GetSwitch", Id=str(i))
        return value, state

    def state_agrees(self, test, i):
        """DeviceState's entries of the switch agree with its members."""
        items = {item["Name"]: item["Value"] for item in self.d.get("DeviceState")}
        for name, member in (("GetSwitch%d" % i, "GetSwitch"),
                             ("GetSwitchValue%d" % i, "GetSwitchValue")):
            got = self.d.get(member, Id=str(i))
            if items.get(name) != got:
                self.issue(test, "DeviceState %s = %r but %s reads %r"
                           % (name, items.get(name), member, got))

    def wait_complete(self, test, i):
        end = time.monotonic() + SWITCH_ASYNC_TIMEOUT_S
        while not self.d.get("StateChangeComplete", Id=str(i)):
            if time.monotonic() > end:
                self.issue(test, "StateChangeComplete still false after %d s"
                           % SWITCH_ASYNC_TIMEOUT_S)
                try:
                    self.d.put("CancelAsync", Id=str(i))
                except AscomError:
                    pass
                return False
            time.sleep(0.2)
        return True

    def write(self, test, i, kind, value, asynchronous):
        """SetSwitch or SetSwitchValue (or their asynchronous forms, waited for)."""
        d = self.d
        if kind == "state":
            member = "SetAsync" if asynchronous else "SetSwitch"
            params = {"Id": str(i), "State": fmt(value)}
        else:
            member = "SetAsyncValue" if asynchronous else "SetSwitchValue"
            params = {"Id": str(i), "Value": fmt(value)}
        _, took = d.timed("PUT", member, **params)
        if asynchronous:
            if took > INITIATION_S:
                self.issue(test, "%s took %.1f s: it must return at once" % (member, took))
            return self.wait_complete(test, i)
        return True

    def check_switch(self, i):
        d = self.d
        test = "Switch %d" % i
        name, _ = self.read(test + " GetSwitchName", "GetSwitchName", Id=str(i))
        self.read(test + " GetSwitchDescription", "GetSwitchDescription", Id=str(i))
        low, good_low = self.read(test + " MinSwitchValue", "MinSwitchValue", Id=str(i))
        high, good_high = self.read(test + " MaxSwitchValue", "MaxSwitchValue", Id=str(i))
        if good_low and good_high and not high > low:
            self.issue(test + " MaxSwitchValue", "%s is not above MinSwitchValue %s"
                       % (high, low))
        step, good_step = self.read(test + " SwitchStep", "SwitchStep", Id=str(i))
        if good_step and good_low and good_high:
            span = high - low
            if step <= 0 or step > span:
                self.issue(test + " SwitchStep", "%s, not above 0 and within the range" % step)
            elif abs(span / step - round(span / step)) > 1e-6:
                self.issue(test + " SwitchStep", "the range %s is not a multiple of %s"
                           % (span, step))
        can_write, good = self.read(test + " CanWrite", "CanWrite", Id=str(i))
        can_async, good_async = self.read(test + " CanAsync", "CanAsync", Id=str(i))
        if good_async and can_async and not can_write:
            self.issue(test + " CanAsync", "true while CanWrite is false")
        original_state, _ = self.read(test + " GetSwitch", "GetSwitch", Id=str(i))
        original, _ = self.read(test + " GetSwitchValue", "GetSwitchValue", Id=str(i))
        complete, _ = self.read(test + " StateChangeComplete", "StateChangeComplete", Id=str(i))
        if complete is False:
            self.issue(test + " StateChangeComplete", "false with no write under way")
        if not (good_low and good_high and good_step):
            return
        if not can_write:
            for member, params in (("SetSwitch", {"State": "false"}),
                                   ("SetSwitchValue", {"Value": fmt(low)}),
                                   ("SetAsync", {"State": "false"}),
                                   ("SetAsyncValue", {"Value": fmt(low)})):
                try:
                    d.put(member, Id=str(i), **params)
                    self.issue(test + " " + member, "CanWrite is false but it wrote")
                except AscomError as e:
                    if e.number != NOT_IMPLEMENTED:
                        self.issue(test + " " + member, "CanWrite is false: 0x400 expected, "
                                   "got %s" % e)
            return
        for asynchronous in (False, True):
            kind = "SetAsync" if asynchronous else "SetSwitch"
            if asynchronous and not can_async:
                break
            try:
                for state in (False, True):
                    if not self.write(test + " " + kind, i, "state", state, asynchronous):
                        continue
                    value, got = self.value_is("%s %s(%s)" % (test, kind, fmt(state)), i,
                                               high if state else low)
                    if got != state:
                        self.issue("%s %s(%s)" % (test, kind, fmt(state)),
                                   "GetSwitch reads %s" % fmt(got))
                    self.state_agrees("%s %s(%s)" % (test, kind, fmt(state)), i)
            except (AscomError, HttpError) as e:
                self.issue(test + " " + kind, "write failed: %s" % e)
            kind = "SetAsyncValue" if asynchronous else "SetSwitchValue"
            try:
                for value in (low, high):
                    if not self.write(test + " " + kind, i, "value", value, asynchronous):
                        continue
                    _, got = self.value_is("%s %s(%s)" % (test, kind, value), i, value)
                    if got != (value == high):
                        self.issue("%s %s(%s)" % (test, kind, value), "GetSwitch reads %s"
                                   % fmt(got))
                    bad = value - 1 if value == low else value + 1
                    self.expect_invalid_value("%s %s(%s)" % (test, kind, bad),
                                              lambda b=bad: self.write(test, i, "value", b,
                                                                       asynchronous))
                if not asynchronous:
                    # Every step from the least to the most reads back as written (ConformU's
                    # offset tests at 0 %, the ones that it reports as issues).
                    count = round((high - low) / step)
                    stride = max(1, count // 10)
                    for n in range(0, count + 1, stride):
                        value = low + n * step
                        self.write(test, i, "value", value, False)
                        self.value_is("%s SetSwitchValue step %s" % (test, value), i, value)
                self.write(test + " restore", i, "value", original, asynchronous)
                self.value_is(test + " restore", i, original)
            except (AscomError, HttpError) as e:
                self.issue(test + " " + kind, "write failed: %s" % e)
        try:
            d.put("CancelAsync", Id=str(i))
        except AscomError as e:
            self.handle(test + " CancelAsync", "optional", e)
        if d.get("GetSwitch", Id=str(i)) != original_state:
            self.issue(test, "not back to its original state")

    def methods(self):
        if not self.count:
            return
        self.out_of_range()
        for i in range(self.count):
            self.check_switch(i)


TESTERS = {"focuser": FocuserTester, "observingconditions": ObservingConditionsTester,
           "switch": SwitchTester}


# ---------------------------------------------------------------------------------------------
# The Management API and discovery


def check_management(report, http_, port, discovery_port):
    where = "Management"
    report.section(where)

    def value(path, query="ClientTransactionID=42&ClientID=%d" % CLIENT_ID):
        status, answer, data = http_.send("GET", path, query=query)
        if status != 200:
            report.issue(where, path, "HTTP %d: %s" % (status, data[:200]))
            return None
        if not answer.getheader("Content-Type", "").startswith("application/json"):
            report.issue(where, path, "not JSON: %s" % answer.getheader("Content-Type"))
        reply = json.loads(data)
        if reply.get("ClientTransactionID") != 42:
            report.issue(where, path, "ClientTransactionID %s, not 42"
                         % reply.get("ClientTransactionID"))
        if not isinstance(reply.get("ServerTransactionID"), int) or \
                reply["ServerTransactionID"] < 1:
            report.issue(where, path, "ServerTransactionID %s" % reply.get("ServerTransactionID"))
        if reply.get("ErrorNumber") != 0 or reply.get("ErrorMessage") != "":
            report.issue(where, path, "error %s %s" % (reply.get("ErrorNumber"),
                                                       reply.get("ErrorMessage")))
        return reply.get("Value")

    versions = value("/management/apiversions")
    if not isinstance(versions, list) or 1 not in versions or \
            any(not isinstance(v, int) for v in versions):
        report.issue(where, "apiversions", "not a list of integers holding 1: %r" % (versions,))
    description = value("/management/v1/description")
    if not isinstance(description, dict):
        report.issue(where, "description", "not an object: %r" % (description,))
    else:
        for key in ("ServerName", "Manufacturer", "ManufacturerVersion", "Location"):
            if not isinstance(description.get(key), str):
                report.issue(where, "description", "%s missing or not a string" % key)
    devices = value("/management/v1/configureddevices")
    listed = set()
    ids = set()
    if not isinstance(devices, list):
        report.issue(where, "configureddevices", "not a list: %r" % (devices,))
        devices = []
    for device in devices:
        keys = {"DeviceName": str, "DeviceType": str, "DeviceNumber": int, "UniqueID": str}
        if not isinstance(device, dict) or any(not isinstance(device.get(k), t)
                                               for k, t in keys.items()):
            report.issue(where, "configureddevices", "a device without its four fields: %r"
                         % (device,))
            continue
        listed.add((device["DeviceType"], device["DeviceNumber"]))
        if device["UniqueID"] in ids:
            report.issue(where, "configureddevices", "UniqueID %s twice" % device["UniqueID"])
        ids.add(device["UniqueID"])
        if not re.fullmatch(r"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}",
                            device["UniqueID"]):
            report.issue(where, "configureddevices", "UniqueID %s is not a UUID"
                         % device["UniqueID"])
    for expected in [("Focuser", 0), ("Focuser", 1), ("ObservingConditions", 0), ("Switch", 0)]:
        if expected not in listed:
            report.issue(where, "configureddevices", "%s %d is not listed" % expected)
    # The management API's parameters are as the Device API's.
    status, _, _ = http_.send("GET", "/management/v1/description",
                              query="ClientTransactionID=qweqwe")
    if status != 400:
        report.issue(where, "description", "a bad ClientTransactionID got HTTP %d, not 400"
                     % status)
    status, _, _ = http_.send("GET", "/management/v9/description")
    if not 400 <= status < 500:
        report.issue(where, "unknown path", "HTTP %d, not 4XX" % status)

    where = "Discovery"
    report.section(where)
    if discovery_port is None:
        report.info(where, "discovery", "no discovery port given: not checked")
        return
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp:
        udp.settimeout(5)
        udp.bind((HOST, 0))
        answer = None
        for _ in range(3):
            udp.sendto(b"alpacadiscovery1", (HOST, discovery_port))
            try:
                answer, _ = udp.recvfrom(1024)
                break
            except socket.timeout:
                continue
        if answer is None:
            report.issue(where, "alpacadiscovery1", "no answer on UDP %d" % discovery_port)
            return
        try:
            reply = json.loads(answer)
        except ValueError:
            report.issue(where, "alpacadiscovery1", "not JSON: %r" % answer)
            return
        if reply != {"AlpacaPort": port}:
            report.issue(where, "alpacadiscovery1", "%r, not {\"AlpacaPort\": %d}"
                         % (reply, port))


# ---------------------------------------------------------------------------------------------


def check(port, discovery_port):
    report = Report()
    http_ = Http(port)
    devices = [Device(http_, "focuser", 0), Device(http_, "focuser", 1),
               Device(http_, "observingconditions", 0), Device(http_, "switch", 0)]
    check_management(report, http_, port, discovery_port)
    for device in devices:
        TESTERS[device.kind](report, device).run()
    for device in devices:
        Protocol(report, http_, device).run()
    http_.close()
    print()
    total = 0
    for where, issues in report.issues.items():
        print("%-30s %d issue%s" % (where, len(issues), "" if len(issues) == 1 else "s"))
        total += len(issues)
    print("%d issue%s, %d information message%s" % (total, "" if total == 1 else "s",
                                                    report.infos,
                                                    "" if report.infos == 1 else "s"))
    return 1 if total else 0


class Output:
    def __init__(self, stream):
        self.lines = []
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in iter(stream.readline, ""):
            self.lines.append(line.rstrip("\n"))

    def text(self):
        return "\n".join(self.lines)


def wait_for(what, condition, deadline):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("no %s within %d s" % (what, deadline))


def start(command, env):
    process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    return process, Output(process.stdout), Output(process.stderr)


def stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(10)


def run_program(skyvarn, sim):
    """The simulated accessories (fast focusers) and the program serving them, then the check."""
    work = tempfile.mkdtemp(prefix="skyvarn-conform-")
    os.chmod(work, 0o700)
    env = dict(os.environ, XDG_RUNTIME_DIR=work, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
    processes = []
    try:
        devices, sim_out, _ = start([sim, "--steps-per-second", "20000", "focuser", "focuser",
                                     "dew"], env)
        processes.append(devices)
        wait_for("simulated accessories", lambda: "running" in sim_out.text(), 30)
        # A discovery port of its own (one nobody holds once it is closed), so that other
        # Alpaca servers on this computer do not answer for it.
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as free:
            free.bind((HOST, 0))
            discovery_port = free.getsockname()[1]
        program, out, err = start([skyvarn, "--connect", "--alpaca", "--alpaca-port", "0",
                                   "--alpaca-discovery-port", str(discovery_port)], env)
        processes.append(program)
        wait_for("the Alpaca server", lambda: "Alpaca server: http" in out.text() or
                 "did not start" in err.text() or program.poll() is not None, 90)
        found = re.search(r"Alpaca server: http://\S+:(\d+)\S* \(discovery on UDP (\d+)\)",
                          out.text())
        assert found, out.text() + "\n" + err.text()
        port, discovery = int(found.group(1)), int(found.group(2))
        http_ = Http(port)
        for kind, number in [("focuser", 0), ("focuser", 1), ("observingconditions", 0),
                             ("switch", 0)]:
            device = Device(http_, kind, number)
            wait_for("%s %d connected" % (kind, number), lambda d=device: d.get("Connected"), 60)
        sensors = Device(http_, "observingconditions", 0)

        def humidity():
            try:
                return sensors.get("Humidity") is not None
            except AscomError:
                return False
        wait_for("a first frame of the dew controller", humidity, 30)
        focusers = [Device(http_, "focuser", n) for n in (0, 1)]
        for f in focusers:
            wait_for("a first position", lambda f=f: f.get("DeviceState") and any(
                i["Name"] == "Position" for i in f.get("DeviceState")), 30)
        http_.close()
        result = check(port, discovery)
        if program.poll() is not None:
            print("skyvarn ended during the check:\n" + err.text())
            return 1
        return result
    finally:
        for process in reversed(processes):
            stop(process)
        shutil.rmtree(work, ignore_errors=True)


def main(argv):
    if len(argv) >= 2 and argv[0] == "--port":
        discovery = None
        if len(argv) == 4 and argv[2] == "--discovery-port":
            discovery = int(argv[3])
        return check(int(argv[1]), discovery)
    if len(argv) != 2:
        sys.exit(__doc__)
    return run_program(argv[0], argv[1])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
