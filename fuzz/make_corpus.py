#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz harnesses into fuzz/corpus/<harness>/.

Each seed is a small, meaningful input in the layout its harness reads (see the comments of
the entry functions in fuzz/harness): real frames of the Velto link, device replies, stored
settings, configuration and state files. Run it again after changing a layout; the files are
committed, so the fuzzers and the replay test do not need Python.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

SOH, STX, ETX, EOT, ENQ, ACK, NAK, ADR = 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x15, 0xE1


def check_bytes(block, payload):
    a, b = block, len(payload)
    for d in payload:
        a, b = b, a ^ d
    return b, a  # C1, C2


def info(payload, block=0, etx=ETX, damage=False):
    if isinstance(payload, str):
        payload = payload.encode("latin-1")
    c1, c2 = check_bytes(block, payload)
    if damage:
        c2 ^= 0x20
    return bytes([SOH, ADR, STX, block, len(payload)]) + payload + bytes([etx, c1, c2])


POLL = bytes([ord("P"), ADR, ENQ])
SELECT = bytes([ord("S"), ADR, ENQ])
ACKF = bytes([ADR, ACK])
NAKF = bytes([ADR, NAK])
EOTF = bytes([0x00, EOT])
TIMEOUT = bytes([0x7F, 0x00])  # escapes of the frame harness (flag bit 2)
FAILED = bytes([0x7F, 0x01])

IDENT = "&QPVQ-5 (87) Lumark 2004"


def text(t):
    if isinstance(t, str):
        t = t.encode("latin-1")
    assert len(t) < 256
    return bytes([len(t)]) + t


seeds = {}


def seed(harness, name, data):
    seeds.setdefault(harness, {})[name] = bytes(data)


# ---- frame_decoder: flags (bit 0 line fails at the end, bit 1 tracing, bit 2 escapes), line
fd = "frame_decoder"
seed(fd, "poll", b"\x00" + POLL)
seed(fd, "select_traced", b"\x02" + SELECT)
seed(fd, "ack_nak_eot", b"\x00" + ACKF + NAKF + EOTF)
seed(fd, "repeated_adr_ack", b"\x00" + bytes([ADR, ADR, ADR, ACK]))
seed(fd, "info_empty", b"\x00" + info(b""))
seed(fd, "info_ab", b"\x02" + info("AB"))
seed(fd, "info_abc", b"\x00" + info("ABC"))
seed(fd, "info_identification", b"\x02" + info(IDENT))
seed(fd, "info_block_byte", b"\x00" + info("&QKW8", block=0x5A))
seed(fd, "info_no_etx", b"\x00" + info("&QFS1", etx=0x77))
seed(fd, "info_bad_check", b"\x00" + info("&QIAFactory default", damage=True) + POLL)
seed(fd, "info_255", b"\x00" + info(bytes((i * 7 + 0x20) % 0x5F + 0x20 for i in range(255))))
seed(fd, "exchange_tx", b"\x02" + POLL + ACKF + POLL + ACKF + POLL)
seed(fd, "exchange_rx", b"\x02" + SELECT + info("&QKO5") + EOTF + SELECT + EOTF)
seed(fd, "timeout_inside_info", b"\x04" + info("&QIJ")[:7] + TIMEOUT + POLL)
seed(fd, "failure_inside_poll", b"\x05" + b"P" + FAILED + SELECT)
seed(fd, "noise_then_poll", b"\x00" + b"\x50\xE1\x06\x53\x99\xE1\x41" + POLL)

# ---- message_layer: flags (bit 0 tracing, bits 1-3 fast speed index), operations:
# 0 receive, 1 queue, 2 queue formatted, 3 transmit, 4 enter, 5 leave, 6 address, 7 status
ml = "message_layer"
RX, Q, QF, TX, ENTER, LEAVE, ADDR, STATUS = range(8)


def ops(*items):
    out = b""
    for it in items:
        if isinstance(it, tuple):
            op, arg = it
            out += bytes([op]) + (text(arg) if op in (RX, Q, QF, ADDR) else bytes([arg]))
        else:
            out += bytes([it])
    return out


seed(ml, "program_mode_batch", bytes([3 << 1]) +
     ops(ENTER, (Q, "&PIA"), (LEAVE, 0), TX, TX, TX, TX, TX, TX))
seed(ml, "identified_then_gates", bytes([1 | (3 << 1)]) +
     ops((RX, IDENT), (Q, "84>&PS3"), (Q, "91<&PIB"), (Q, "87>91<&PFV1"), (Q, "88>&PKW8"),
         (Q, "82<&PKOE"), (Q, "82>&PKOC"), TX, TX, TX, TX, TX, TX, TX, TX))
seed(ml, "version_a3", bytes([0]) +
     ops((RX, "&RPVQ-5 (A3) test"), (Q, "91>&PFZ1"), (Q, "91<&PIB&P.1"), TX, TX, TX, (ADDR, "&PX")))
seed(ml, "exit_resets_version", bytes([1]) +
     ops((RX, IDENT), (RX, "&QX"), (Q, "84>&PS5"), TX, TX, (Q, "&PX0"), TX))
seed(ml, "short_texts_not_gated", bytes([0]) +
     ops((Q, "ab>c"), (Q, "12<"), (Q, ""), (QF, "%s%d"), TX, TX, TX, TX, TX))
seed(ml, "status_changes", bytes([0]) +
     ops((STATUS, 1), (STATUS, 2), (STATUS, 2), (STATUS, 3), (STATUS, 5), (STATUS, 7)))
seed(ml, "identification_without_paren", bytes([2 << 1]) +
     ops((RX, "&ZPVQ-5 no version"), ENTER, (LEAVE, 1), TX, TX, TX, TX))
seed(ml, "long_texts", bytes([1]) +
     ops((Q, "87>" + "&PIA" + "x" * 120), (RX, "&QPVQ-5 (" + "9" * 80), TX, TX))

# ---- slave_link: flags (bit 0 line fails at the end, bit 1 tracing, bit 2 escapes), number of
# texts to queue and the texts, then the device's side of the line
sl = "slave_link"


def queued(*texts):
    return bytes([len(texts)]) + b"".join(text(t) for t in texts)


seed(sl, "poll_send_ack", b"\x02" + queued("$PRG", "&PIA") + POLL + ACKF + POLL + ACKF + POLL + ACKF)
seed(sl, "select_receive", b"\x00" + queued() + SELECT + info("&QIAFactory default") + EOTF + POLL)
seed(sl, "nak_then_ack", b"\x00" + queued("&PKW8") + POLL + NAKF + NAKF + ACKF + POLL)
seed(sl, "identification_and_gates", b"\x02" + queued("84>&PS3", "91<&PIB", "&PX0") + SELECT + info(IDENT) + EOTF +
     POLL + ACKF + POLL + ACKF + POLL + ACKF + POLL)
seed(sl, "bad_check_then_good", b"\x00" + queued() + SELECT + info("&QFS1", damage=True) + b"\x00" +
     info("&QFS1") + EOTF)
seed(sl, "select_interrupted_by_poll", b"\x04" + queued("&PIA") + SELECT + TIMEOUT + POLL + ACKF + POLL)
seed(sl, "failed_read_inside_selected_frame", b"\x04" + queued("&PIA") + SELECT + info("&QIAxyz")[:8] + FAILED +
     EOTF + POLL + ACKF)
seed(sl, "poll_no_answer", b"\x04" + queued("&PIA") + POLL + TIMEOUT + POLL + ACKF)

# ---- device_readers: major, minor, item, prefix text, reply
dr = "device_readers"
seed(dr, "flag", bytes([8, 7, ord("S")]) + text("&QF") + b"&QFS1")
seed(dr, "counters", bytes([8, 7, ord("R")]) + text("&QIR") + b"&QIR0000000A00000003FFFFFFFF")
seed(dr, "counters_lower", bytes([9, 1, ord("R")]) + text("&QIR") + b"&QIR0000000a00000003ffffffff")
seed(dr, "gated_set", bytes([8, 7, ord("V")]) + text("87>91<") + b"87>91<&PFV1")
seed(dr, "constant_offset_old", bytes([8, 1, ord("O")]) + text("82<") + b"&QKOE")
seed(dr, "constant_offset_new", bytes([8, 4, ord("O")]) + text("82>") + b"&QKOC")
seed(dr, "text", bytes([7, 0, ord("A")]) + text("&QIA") + b"&QIAFactory default")

# ---- programmer_replies: flags (bit 0 expert), records: op (0/3 received, 1 queue empty, 2 busy), text
pr = "programmer_replies"


def recs(*texts):
    out = b""
    for t in texts:
        if t is None:
            out += b"\x01"
        else:
            out += b"\x00" + text(t)
    return out


seed(pr, "read_all", b"\x00" + recs(IDENT, "&QIAmy vehicle 12", "&QFC1", "&QIB&P.1", "&QFB0", "&QFK1",
                                    "&QIC&P.2", "&QFS1", "&QFO0", "&QFT1", "&QKW9", "&QKM3", "&QKOC",
                                    "&QKSA", "&QX", None))
seed(pr, "expert_old_device", b"\x01" + recs("&PPVQ-5 (81) old", "&PKOE", "&PKW0", "&PFP1", "&PX", None))
seed(pr, "replies_before_identification", b"\x00" + recs("&PKW8", "&PFS", "&PIA", "&PK", "&PKWZ", None))
seed(pr, "latin1_texts", b"\x00" + recs(IDENT, "&QIA\xe9t\xe9 \x01\x7f", "&QID\xff", None))

# ---- information_replies: the received text
ir = "information_replies"
seed(ir, "config_id", b"&QIAFactory default")
seed(ir, "counters", b"&QIR0000000A00000003FFFFFFFF")
seed(ir, "counters_damaged", b"&QIR0000000A0000X003FFFF")
seed(ir, "flag", b"&QFS1")
seed(ir, "constant", b"&QKW8")
seed(ir, "revision", b"&QI0$Id: main.c 8.7 sim $")
seed(ir, "identification", IDENT.encode())

# ---- transponder_replies: records of a received text
tr = "transponder_replies"
seed(tr, "load_new_device", b"".join(text(t) for t in (IDENT, "&QKW9", "&QKM3", "&QKOC", "&QKSA", "&QX")))
seed(tr, "load_old_device", b"".join(text(t) for t in ("&PPVQ-5 (81)", "&PKW2", "&PKM9", "&PKOE", "&PKS0", "&PX")))
seed(tr, "damaged_replies", b"".join(text(t) for t in ("&PK", "&PKW", "&PKWZ", "&PKQ5", "&PKO\xff", "&PPVQ-5 (8")))

# ---- io_tester_replies: ops 0 received text, 1 check boxes, 2 transmit, 3 numbers


def encode_outputs(line, run):
    v = ["0"] * 21
    def setn(n, bit):
        v[n + 1] = "1" if bit else "0"
    lh, lt, lu = (line // 100) % 4, (line // 10) % 10, line % 10
    rt, ru = (run // 10) % 8, run % 10
    for n, bit in ((18, lh & 1), (19, lh & 2), (6, lt & 1), (5, lt & 2), (4, lt & 4), (17, lt & 8),
                   (10, lu & 1), (9, lu & 2), (8, lu & 4), (7, lu & 8), (12, rt & 1), (11, rt & 2),
                   (3, rt & 4), (16, ru & 1), (15, ru & 2), (14, ru & 4), (13, ru & 8)):
        setn(n, bit)
    return "".join(v)


io = "io_tester_replies"
seed(io, "both_lines", b"\x01\x03" + b"\x02\x00" + text("&PII101100") + b"\x02\x00" +
     text("&PIJ" + encode_outputs(123, 45)) + b"\x03\x7b\x00\x2d")
seed(io, "identified_letter", b"\x01\x03\x00" + text(IDENT) + b"\x00" + text("&QIJ" + encode_outputs(399, 79)) +
     b"\x00" + text("&QII000000") + b"\x02\x02")
seed(io, "short_values", b"\x01\x02\x00" + text("&PIJ10") + b"\x00" + text("&PIJ") + b"\x00" +
     text("&PIJ" + "2" * 30) + b"\x01\x00\x02")

# ---- emulator_replies: ops 0 received text, 1 transmit, 2 numbers, 3 number field
em = "emulator_replies"
seed(em, "inquiry_announcement", b"\x02\x7b\x00\x00\x2d\x00\x01" + b"\x00" + text("?") + b"\x01\x01")
seed(em, "message_classes", b"".join(b"\x00" + text(t) for t in
                                       ("#1", "$123/045   12:34 XX", "&QIA", "=1230450011777777799999", "x" * 150,
                                        "\x01\x02", "")) + b"\x01")
seed(em, "number_fields", b"".join(b"\x03" + text(t) for t in ("123", " 45 ", "-1", "1000", "12a", "", "+7",
                                                               "99999999999999999999")))

# ---- profile_settings: records: how (bits 0-1 section, bits 2-3 kind, bit 7 own section name),
# key pick (0xFF own key name), value
ps = "profile_settings"
KEYS = ["ComPort", "Timeout", "FastBaudRate", "Reboot", "Window", "Minimal", "Offset", "Stable", "ShowInputs",
        "ShowOutputs", "LijnNr", "RunNr", "AutoIncrement", "LevelMask", "logWnd_flags", "logWnd_x1",
        "CheckConfigID", "CheckTransConfig", "ConfigID"]


def setting(section, key, value):
    k = KEYS.index(key)
    if isinstance(value, int):
        return bytes([section | (1 << 2), k]) + value.to_bytes(8, "little", signed=True)
    return bytes([section | (2 << 2), k]) + text(value)


seed(ps, "typical", setting(0, "ComPort", "/dev/ttyUSB0") + setting(0, "Timeout", 2000) +
     setting(0, "FastBaudRate", 3) + setting(1, "Window", 9) + setting(1, "Minimal", 4) +
     setting(1, "LijnNr", 123) + setting(1, "ConfigID", "05 March 2024: bus 12"))
seed(ps, "damaged", setting(0, "Timeout", 0) + setting(0, "FastBaudRate", 9) + setting(1, "Window", 99) +
     setting(1, "Minimal", -5) + setting(1, "Offset", "abc") + setting(1, "Reboot", 7) +
     setting(1, "CheckConfigID", 2) + setting(1, "LijnNr", 2**31 - 1) + setting(1, "RunNr", -2**31))
seed(ps, "edge_numbers", b"".join(bytes([0 | (0 << 2), KEYS.index("Timeout"), e]) for e in range(0, 34, 3)) +
     b"".join(bytes([1 | (0 << 2), KEYS.index(k), 20]) for k in ("Window", "Stable", "ShowInputs")))
seed(ps, "empty_port_and_odd_section", setting(0, "ComPort", "") + bytes([0x80 | (2 << 2)]) + text("Other") +
     b"\xff" + text("Key") + text("value"))

# ---- programmer_config: the file text
pc = "programmer_config"
seed(pc, "full", b"; VQ-5 configuration\n[Settings_V2.3]\nCheckConfigID=1\nConfigID=05 March 2024: bus 12\n"
     b"ButtonDataCall1=1\nEditDataCall1=&P.1\nButtonDataCall2=2\nFlagStreekvervoer=1\nFlagCrearEeprom=0\n"
     b"TransConfigSliderWindow=9\nTransConfigSliderMinimal=4\nTransConfigSliderOffset2=22\n"
     b"TransConfigSliderStable=10\nRebootAfterProgramming=0\n")
seed(pc, "escapes", b"ConfigID=caf\\xE9 \\\\ end \r\n# comment\nCheckTransConfig=0\n")
seed(pc, "bad_escape", b"ConfigID=broken \\x4\n")
seed(pc, "unknown_key", b"NoSuchKey=1\n")
seed(pc, "minimal_above_window", b"TransConfigSliderWindow=3\nTransConfigSliderMinimal=9\n")

# ---- sim_state_file: version byte, then the file
ss = "sim_state_file"
STATE = (b"# Simulated VQ-5 8.7\nidentifier=Factory default\ndatacall0=&P.1\ndatacall1=&P.2\ndatacall2=&P.3\n"
         b"flag.S=1    # comment\nflag.O=0\nwindow=8\nminimal=7\noffset=C    # 22 ms\nstable=A\nreboots=12\n"
         b"configInits=3\nprogramModeEntries=4294967295\nrevision.0=$Id: h.c 8.7 sim $\ncopyright=\\xA9 Lumark\n"
         b"software=x\\ty\\n\nidentText=Lumark\nline=123\nrun=45\n")
seed(ss, "typical", b"\x87" + STATE)
seed(ss, "old_device", b"\x81" + STATE.replace(b"offset=C", b"offset=E"))
seed(ss, "damaged", b"\x91" + b"window=G\nreboots=-1\nline=1000\nflag.?=1\nrevision.13=x\n=x\nnoequals\r\n"
     b"identifier=\\x\\xZZ\\\n")


def main():
    only = set(sys.argv[1:])
    for harness, files in seeds.items():
        if only and harness not in only:
            continue
        d = os.path.join(CORPUS, harness)
        os.makedirs(d, exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(d, name), "wb") as f:
                f.write(data)
    print("seeds written:", sum(len(f) for h, f in seeds.items() if not only or h in only))


if __name__ == "__main__":
    main()
