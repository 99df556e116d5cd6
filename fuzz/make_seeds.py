#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/. Run it again after changing a seed here."""

import base64
import gzip
import json
import os
import shutil
import struct
import subprocess
import tempfile
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# --- Standard codec messages -------------------------------------------------------------

def size(n):
    if n < 254:
        return bytes([n])
    if n <= 0xFFFF:
        return bytes([254]) + struct.pack("<H", n)
    return bytes([255]) + struct.pack("<I", n)


def pad(prefix, alignment):
    return b"\0" * (-len(prefix) % alignment)


def string(text):
    raw = text.encode()
    return b"\x07" + size(len(raw)) + raw


standard = {
    "null": b"",
    "true": b"\x01",
    "int32": b"\x03" + struct.pack("<i", -7),
    "int64": b"\x04" + struct.pack("<q", 1 << 40),
    "double": b"\x06" + b"\0" * 7 + struct.pack("<d", 3.25),
    "string": string("hello"),
    "long_string": string("x" * 300),
    "uint8_list": b"\x08\x03abc",
    "int32_list": b"\x09\x02" + b"\0\0" + struct.pack("<ii", 1, -1),
    "int64_list": b"\x0a\x01" + b"\0" * 6 + struct.pack("<q", -2),
    "float32_list": b"\x0e\x01" + b"\0\0" + struct.pack("<f", 1.5),
    "float64_list": b"\x0b\x01" + b"\0" * 6 + struct.pack("<d", 0.5),
    "list": b"\x0c\x03" + b"\x01" + string("a") + b"\x03" + struct.pack("<i", 5),
    "map": b"\x0d\x02" + string("k") + b"\x0c\x01\x02" + string("n") + b"\x00",
    "nested": b"\x0c\x01" * 20 + b"\x00",
    # A method call as the channels carry it: method name and arguments.
    "method_call": string("Nimbus#initializeCore") + b"\x0d\x01" + string("appName") + string("[DEFAULT]"),
}
for name, data in standard.items():
    write("standard_codec", name, data)

# --- Plug-in codec messages: records under tags 129 and 130 -------------------------------

options = bytes([129, 12, 14, 7, 1, ord("k"), 7, 1, ord("a"), 7, 1, ord("s"), 7, 1, ord("p")]) + b"\0" * 10
options_full = bytes([129, 12, 14]) + b"".join(string(c) for c in "kaspdtmbnehijl")
response = (bytes([130, 12, 4]) + string("app") + options + b"\x00"
            + b"\x0d\x01" + string("c") + b"\x01")
write("bridge_codec", "options", options)
write("bridge_codec", "options_full", options_full)
write("bridge_codec", "response", response)
write("bridge_codec", "response_list", b"\x0c\x02" + response + options)
write("bridge_codec", "map_of_records", b"\x0d\x01" + string("o") + options)
write("bridge_codec", "plain", standard["map"])
# Records as map keys: custom values order by address, so these maps have no fixed order.
write("bridge_codec", "record_keys", b"\x0d\x02" + options + b"\x01" + response + b"\x02")

# --- Config files -------------------------------------------------------------------------

write("json_config", "console", """{
  "project_info": {
    "project_number": "123456789",
    "nimbus_url": "https://example-app.nimbus.example",
    "project_id": "example-app",
    "storage_bucket": "example-app.appspot.example"
  },
  "client": [
    {
      "client_info": {"mobile_app_id": "1:123456789:android:first"},
      "api_key": [{"current_key": "first-key"}]
    },
    {
      "client_info": {
        "mobile_app_id": "1:123456789:android:second",
        "platform_client_info": {"package_name": "com.example.app"}
      },
      "oauth_client": [
        {"client_id": "x.apps.example", "client_type": 3,
         "platform_info": {"package_name": "com.example.app", "certificate_hash": "ff00"}}
      ],
      "api_key": [{}, {"current_key": "second-key"}],
      "services": {
        "analytics_service": {"status": 2, "analytics_property": {"tracking_id": "UA-1"}},
        "invite_service": {"status": 1},
        "ads_service": {"status": 1, "test_banner_ad_unit_id": "b",
                        "test_interstitial_ad_unit_id": "i",
                        "analytics_service": {"status": 1}}
      }
    }
  ],
  "configuration_version": "1"
}
""")
write("json_config", "minimal", '{"project_info": {"project_id": "p"}, "client": '
      '[{"client_info": {"mobile_app_id": "a", "platform_client_info": '
      '{"package_name": "n"}}, "api_key": [{"current_key": "k"}]}]}')
write("json_config", "no_package_name", '{"project_info": {"project_id": "p"}, "client": '
      '[{"client_info": {"mobile_app_id": "a"}, "api_key": [{"current_key": "k"}]}]}')
write("json_config", "no_client", '{"project_info": {"project_id": "p", "project_number": "1"}}')
write("json_config", "unknown_keys", '{"extra": [1, 2.5, true, null], "project_info": {}, "client": []}')
write("json_config", "broken", '{"project_info": {"project_id": "p",')

# --- Heartbeat files, built by flatc from the file's schema -------------------------------

SCHEMA = os.path.join(os.path.dirname(ROOT), "..", "app", "heartbeat", "logged_heartbeats.fbs")
heartbeat_records = {
    "two_agents": {"last_logged_date": "2025-01-03", "heartbeats": [
        {"user_agent": "Tervala/2.1", "dates": ["2025-01-01", "2024-12-31", "2025-01-03"]},
        {"user_agent": "nimbus-cpp/1.0 os/linux", "dates": ["2024-12-30", "2025-01-03"]}]},
    "repeated_agent": {"last_logged_date": "2025-02-01", "heartbeats": [
        {"user_agent": "a", "dates": ["2025-01-01"]}, {"user_agent": "a", "dates": ["2025-02-01"]},
        {"user_agent": "b", "dates": []}, {"dates": ["2025-01-05"]}]},
    "date_only": {"last_logged_date": "2025-03-04"},
}
with tempfile.TemporaryDirectory() as scratch:
    for name, record in heartbeat_records.items():
        source = os.path.join(scratch, name + ".json")
        with open(source, "w") as f:
            json.dump(record, f)
        subprocess.run(["flatc", "--binary", "-o", scratch, SCHEMA, source], check=True)
        with open(os.path.join(scratch, name + ".bin"), "rb") as f:
            write("heartbeat_file", name, f.read())
write("heartbeat_file", "empty", b"")
write("heartbeat_file", "damaged", b"\x10\0\0\0garbage that is not a table")

# --- Payload text -------------------------------------------------------------------------

for name, raw in {"empty": b"", "text": b"heartbeat payload", "binary": bytes(range(256))[:61]}.items():
    write("base64", name + "_padded", base64.b64encode(raw))
    write("base64", name + "_url", base64.urlsafe_b64encode(raw).rstrip(b"="))
write("base64", "bad_padding", "QQ=A")
write("base64", "hidden_bits", "QR==")

# --- Compressed data: mode byte, 16-bit output bound, input ---------------------------------

def zcase(mode, bound, data):
    return bytes([mode]) + struct.pack("<H", bound) + data

payload = b'{"heartbeats":[{"agent":"Tervala/2.1","dates":["2025-01-01"]}],"version":"2"}' * 3
raw = zlib.compressobj(wbits=-15)
raw_data = raw.compress(payload) + raw.flush()
gz = gzip.compress(payload, mtime=0)
write("zlib", "gunzip", zcase(0, 4096, gz))
write("zlib", "gunzip_small_bound", zcase(0, 16, gz))
write("zlib", "gunzip_named", zcase(0, 4096, gzip.compress(b"x", mtime=0)[:3] + b"\x08" + gz[4:10] + b"name\0" + gz[10:]))
write("zlib", "zlib", zcase(1, 4096, zlib.compress(payload)))
write("zlib", "zlib_truncated", zcase(1, 4096, zlib.compress(payload)[:-6]))
write("zlib", "raw", zcase(2, 4096, raw_data))
write("zlib", "gzip", zcase(3, 4096, gz))
write("zlib", "gzip_bad_trailer", zcase(3, 4096, gz[:-1] + b"\x01"))
write("zlib", "empty_gzip", zcase(0, 0, gzip.compress(b"", mtime=0)))

# --- Variant JSON -------------------------------------------------------------------------

write("json_variant", "object", '{"a": 1, "b": [true, false, null], "c": {"d": "e\\u00e9\\ud83d\\ude00"}}')
write("json_variant", "numbers", "[0, -1, 9223372036854775807, -9223372036854775808, "
      "9223372036854775808, 1.5e300, -0.0, 1e-320]")
write("json_variant", "escapes", '"tab\\t newline\\n quote\\" slash\\/ backslash\\\\"')
write("json_variant", "nested", "[" * 50 + "]" * 50)
write("json_variant", "bad", '{"a": }')

# --- Flexbuffers (hand-built: root value, its type byte, its byte width) --------------------

def flex_root(value_bytes, packed_type, width):
    return value_bytes + bytes([packed_type, width])

# Type codes: null 0, int 1, uint 2, float 3, key 4, string 5, vector 10, bool 26.
write("flexbuffer_variant", "int", flex_root(b"\x2a", (1 << 2) | 0, 1))
write("flexbuffer_variant", "float", flex_root(struct.pack("<d", 2.5), (3 << 2) | 3, 8))
write("flexbuffer_variant", "bool", flex_root(b"\x01", (26 << 2) | 0, 1))
write("flexbuffer_variant", "null", flex_root(b"\x00", 0, 1))
# A string "hi": size byte, bytes, terminator; the root is an offset back to the bytes.
write("flexbuffer_variant", "string", b"\x02hi\x00" + b"\x03" + bytes([(5 << 2) | 0, 1]))
# An untyped vector [1, 2]: size, elements, element types; the root points at element 0.
write("flexbuffer_variant", "vector", b"\x02\x01\x02" + bytes([(1 << 2), (1 << 2)]) + b"\x04"
      + bytes([(10 << 2) | 0, 1]))
# Written by flexbuffers::Builder: {m: {k: "v"}, u: 7, v: [1, 2.5, "s", true, null]} and a
# typed vector of ints [1, 2, 300].
write("flexbuffer_variant", "map", bytes.fromhex(
    "7600017300000000050000000100000000002040110000000100000000000000"
    "060e146a0275006d006b0001760001060101010714030f123803010309073224082a062401"))
write("flexbuffer_variant", "typed_vector", bytes.fromhex("0300010002002c01062d01"))

# --- Requests on the core plug-in's six channels: selector, 16-bit length, message -------

INITIALIZE_APP, INITIALIZE_CORE, OPTIONS_FROM_RESOURCE, DATA_COLLECTION, RESOURCE_MANAGEMENT, \
    DELETE = range(6)


def request(channel, message):
    return bytes([channel]) + struct.pack("<H", len(message)) + message


def requests(*pairs):
    return b"".join(request(channel, message) for channel, message in pairs)


def name_list(*items):
    return b"\x0c" + bytes([len(items)]) + b"".join(items)


empty_list = b"\x0c\x00"
create = (INITIALIZE_APP, name_list(string("app"), options))
write("plugin_channels", "initialize_app", requests(create))
write("plugin_channels", "initialize_app_full", requests((INITIALIZE_APP, name_list(string("full"), options_full))))
write("plugin_channels", "initialize_app_incomplete",
      requests((INITIALIZE_APP, name_list(string("x"), bytes([129, 12, 14]) + string("") * 4 + b"\0" * 10))))
write("plugin_channels", "lifecycle", requests(
    (INITIALIZE_CORE, empty_list), create, (INITIALIZE_CORE, empty_list),
    (DATA_COLLECTION, name_list(string("app"), b"\x01")),
    (RESOURCE_MANAGEMENT, name_list(string("app"), b"\x02")),
    (DELETE, name_list(string("app"))), (INITIALIZE_CORE, b"")))
write("plugin_channels", "options_from_resource", requests((OPTIONS_FROM_RESOURCE, empty_list)))
write("plugin_channels", "errors", requests(
    (DATA_COLLECTION, name_list(b"\x00", b"\x01")),
    (RESOURCE_MANAGEMENT, name_list(string("a"))),
    (RESOURCE_MANAGEMENT, name_list(string("a"), b"\x00")),
    (DELETE, string("not a list")),
    (DELETE, name_list(b"\x03\x05\x00\x00\x00")),
    (INITIALIZE_APP, name_list(string("a"), b"\x00")),
    (INITIALIZE_APP, name_list(string("a"), string("not options"))),
    (DELETE, b"\x0c\x01\x07\x09a")))
# Without the config file (selector bit 7): the answers for missing options.
NO_CONFIG = 0x80
write("plugin_channels", "without_config", requests(
    (OPTIONS_FROM_RESOURCE | NO_CONFIG, empty_list),
    (INITIALIZE_APP | NO_CONFIG, name_list(string("x"), bytes([129, 12, 14]) + string("") * 4 + b"\0" * 10)),
    create))
