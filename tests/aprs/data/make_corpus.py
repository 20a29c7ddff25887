#!/usr/bin/env python3
"""Writes corpus_generated.txt: APRS fields made by encoders written from the APRS 1.0.1
protocol document and its addenda (positions, compressed positions, Mic-E, objects, items, messages,
weather, telemetry), with seeded random values. The differential test reads it beside the
hand-written corpus.txt. Run from this folder: python3 make_corpus.py > corpus_generated.txt
"""
import math
import random

rng = random.Random(17)
CALLS = ["N0CALL", "KB2ICI-14", "DL1ABC-9", "VK2XYZ-7", "JA1QRP", "PY2ABC-5", "ZS6EY-1",
         "G4KLX", "OH7LZB-9", "W6GPS"]
PATHS = ["", ",WIDE1-1", ",WIDE1-1,WIDE2-1", ",RELAY*,WIDE2-1", ",DIGI1*,DIGI2*"]
SYMBOLS = ["/>", "/-", "/k", "/j", "/v", "/[", "/b", "/Y", "/s", "/O", "\\>", "\\-", "S#",
           "1#", "I&", "/#", "/'", "/a", "\\k", "/u"]


def esc(data):
    """Monitor-line text of bytes: printable ASCII as it is, the rest as <0xNN>."""
    return "".join(chr(b) if 0x20 <= b < 0x7F else "<0x%02x>" % b for b in data)


def header(dest="APRS", src=None):
    return "%s>%s%s:" % (src or rng.choice(CALLS), dest, rng.choice(PATHS))


def lat_text(lat):
    h = "N" if lat >= 0 else "S"
    a = abs(lat)
    d = int(a)
    m = round((a - d) * 60, 2)
    if m >= 60:
        d, m = d + 1, 0.0
    return "%02d%05.2f%s" % (d, m, h)


def lon_text(lon):
    h = "E" if lon >= 0 else "W"
    a = abs(lon)
    d = int(a)
    m = round((a - d) * 60, 2)
    if m >= 60:
        d, m = d + 1, 0.0
    return "%03d%05.2f%s" % (d, m, h)


def rand_pos():
    return rng.uniform(-89.9, 89.9), rng.uniform(-179.9, 179.9)


def b91(v, n):
    out = []
    for _ in range(n):
        out.append(chr(33 + v % 91))
        v //= 91
    return "".join(reversed(out))


def compressed(lat, lon, table, code, cs=None):
    y = int(round(380926 * (90 - lat)))
    x = int(round(190463 * (180 + lon)))
    t = table if table in "/\\" or table.isupper() else "abcdefghij"[int(table)]
    if cs is None:
        tail = "  A"  # no course/speed: blank c
    elif cs[0] == "cs":
        course, knots = cs[1], cs[2]
        c = chr(33 + course // 4)
        s = chr(33 + int(round(math.log(knots + 1) / math.log(1.08))))
        tail = c + s + "["  # type: current fix from RMC
    elif cs[0] == "alt":
        v = int(round(math.log(cs[1]) / math.log(1.002)))
        tail = chr(33 + v // 91) + chr(33 + v % 91) + "Q"  # type: from GGA
    else:
        tail = "{" + chr(33 + int(round(math.log(cs[1] / 2) / math.log(1.08)))) + "!"
    return t + b91(y, 4) + b91(x, 4) + code + tail


def timestamp():
    kind = rng.choice("zz/h")
    if kind == "h":
        return "%02d%02d%02dh" % (rng.randrange(24), rng.randrange(60), rng.randrange(60))
    return "%02d%02d%02d%s" % (rng.randint(1, 28), rng.randrange(24), rng.randrange(60), kind)


def comment():
    return rng.choice(["", " ", "Test", " mobile", "QRV 145.500", "73 de op", "Club station",
                       " on the road", "Home", "Tracker"])


lines = []

# Uncompressed positions, some with course/speed, PHG or altitude.
for i in range(40):
    lat, lon = rand_pos()
    sym = rng.choice(SYMBOLS)
    ext = ""
    r = i % 5
    if r == 1:
        ext = "%03d/%03d" % (rng.randint(1, 360), rng.randint(0, 150))
    elif r == 2:
        ext = "PHG%d%d%d%d" % (rng.randint(1, 9), rng.randint(0, 9), rng.randint(0, 9),
                               rng.randint(0, 8))
    elif r == 3:
        ext = "%03d/%03d" % (rng.randint(1, 360), rng.randint(0, 99))
        ext += comment() + "/A=%06d" % rng.randint(0, 40000)
    elif r == 4:
        ext = comment() + " /A=%06d" % rng.randint(0, 3000)
    dti = rng.choice("!=")
    lines.append(header() + dti + lat_text(lat) + sym[0] + lon_text(lon) + sym[1] + ext +
                 comment())

# Positions with timestamp.
for i in range(25):
    lat, lon = rand_pos()
    sym = rng.choice(SYMBOLS)
    ext = "%03d/%03d" % (rng.randint(1, 360), rng.randint(0, 200)) if i % 2 else ""
    lines.append(header() + rng.choice("/@") + timestamp() + lat_text(lat) + sym[0] +
                 lon_text(lon) + sym[1] + ext + comment())

# Compressed positions: course/speed, altitude, range, nothing.
for i in range(30):
    lat, lon = rand_pos()
    sym = rng.choice(SYMBOLS)
    table = sym[0] if not sym[0].isdigit() else sym[0]
    cs = [None, ("cs", rng.randint(0, 89) * 4, rng.randint(0, 120)),
          ("alt", rng.uniform(10, 30000)), ("rng", rng.uniform(3, 200))][i % 4]
    dti = rng.choice(["!", "=", "@" + timestamp(), "/" + timestamp()])
    lines.append(header() + dti + compressed(lat, lon, table, sym[1], cs) + comment())

# Mic-E.
STD = {"Off Duty": 7, "En Route": 6, "In Service": 5, "Returning": 4, "Committed": 3,
       "Special": 2, "Priority": 1, "Emergency": 0}
CUSTOM = {"Custom-0": 7, "Custom-1": 6, "Custom-2": 5, "Custom-3": 4, "Custom-4": 3,
          "Custom-5": 2, "Custom-6": 1}
DEVICES = [("`", "_%"), ("`", "_\""), ("`", "_#"), ("`", "_$"), ("`", "_("), ("`", "_0"),
           ("`", "_)"), (">", ""), (">", "="), (">", "^"), ("]", ""), ("]", "="), ("'", "|3"),
           ("'", "|4"), (" ", ""), ("`", ""), ("'", "")]


def mic_e(lat, lon, knots, course, sym, msg, alt=None, text="", device=("`", "")):
    a = abs(lat)
    d = int(a)
    mh = int(round((a - d) * 6000))
    if mh >= 6000:
        d, mh = d + 1, 0
    digits = "%02d%02d%02d" % (d, mh // 100, mh % 100)
    code, custom = (STD[msg], False) if msg in STD else (CUSTOM[msg], True)
    dest = ""
    for i, ch in enumerate(digits):
        v = int(ch)
        if i < 3:
            bit = (code >> (2 - i)) & 1
            dest += (chr(ord("A" if custom else "P") + v)) if bit else ch
        elif i == 3:
            dest += chr(ord("P") + v) if lat >= 0 else ch
        elif i == 4:
            lo = abs(lon)
            off = lo < 10 or lo >= 100
            dest += chr(ord("P") + v) if off else ch
        else:
            dest += chr(ord("P") + v) if lon < 0 else ch
    lo = abs(lon)
    ld = int(lo)
    lmh = int(round((lo - ld) * 6000))
    if lmh >= 6000:
        ld, lmh = ld + 1, 0
    lm, lh = lmh // 100, lmh % 100
    if ld < 10:
        db = ld + 118
    elif ld < 100:
        db = ld + 28
    elif ld < 110:
        db = ld + 8
    else:
        db = ld - 100 + 28
    mb = lm + 28 + (60 if lm < 10 else 0)
    hb = lh + 28
    sp = knots // 10
    if knots < 200:
        sp += 80
    dc = (knots % 10) * 10 + course // 100
    se = course % 100
    body = bytes([ord("`"), db, mb, hb, sp + 28, dc + 28, se + 28, ord(sym[1]), ord(sym[0])])
    t = device[0]
    tail = t
    if alt is not None:
        tail += b91(int(round(alt)) + 10000, 3) + "}"
    tail += text + device[1]
    return dest, body + tail.encode()


for i in range(45):
    lat, lon = rand_pos()
    if i % 9 == 0:
        lon = rng.uniform(-9.9, 9.9)
    elif i % 9 == 1:
        lon = rng.choice([-1, 1]) * rng.uniform(100, 109.9)
    msg = rng.choice(list(STD) + list(CUSTOM))
    knots = rng.choice([0, rng.randint(1, 199), rng.randint(200, 500)])
    course = rng.randint(1, 360)
    alt = rng.uniform(-50, 5000) if i % 3 else None
    dev = rng.choice(DEVICES)
    dest, info = mic_e(lat, lon, knots, course, rng.choice(SYMBOLS), msg, alt,
                       rng.choice(["", "Mobile", "QRV", "on my way"]), dev)
    dest += rng.choice(["", "", "-1", "-2"])
    lines.append(header(dest) + esc(info))

# Objects and items.
for i in range(15):
    lat, lon = rand_pos()
    sym = rng.choice(SYMBOLS)
    name = rng.choice(["LEADER", "EOC", "REPEATER", "146.940", "NET-1", "Race HQ", "WX-STN",
                       "ISS", "BALLOON", "CP 3"]).ljust(9)[:9]
    state = rng.choice("**_")
    pos = (lat_text(lat) + sym[0] + lon_text(lon) + sym[1]) if i % 3 else \
        compressed(lat, lon, sym[0], sym[1], ("cs", rng.randint(0, 89) * 4, rng.randint(0, 60)))
    ext = "%03d/%03d" % (rng.randint(1, 360), rng.randint(0, 80)) if i % 3 == 1 else ""
    lines.append(header() + ";" + name + state + timestamp() + pos + ext + comment())
for i in range(10):
    lat, lon = rand_pos()
    sym = rng.choice(SYMBOLS)
    name = rng.choice(["AID #2", "CP1", "Water", "G/WB4APR", "FIRE", "Tent 7", "HQ1"])
    pos = (lat_text(lat) + sym[0] + lon_text(lon) + sym[1]) if i % 2 else \
        compressed(lat, lon, sym[0], sym[1], None)
    lines.append(header() + ")" + name + rng.choice("!!_") + pos + comment())

# Messages, acks, rejs.
TEXTS = ["Hello", "Are you on the net tonight?", "QSL, 73", "Meet at the EOC 1900",
         "Test message", "On my way", "Roger that"]
for i in range(15):
    to = rng.choice(CALLS).ljust(9)
    num = "" if i % 4 == 0 else "{%d" % rng.randint(1, 99999)
    if i % 7 == 3:
        num = "{%02d}" % rng.randint(0, 99)
    lines.append(header() + ":" + to + ":" + rng.choice(TEXTS) + num)
for i in range(10):
    kind = "ack" if i % 2 == 0 else "rej"
    lines.append(header() + ":" + rng.choice(CALLS).ljust(9) + ":" + kind +
                 str(rng.randint(1, 99999)))

# Weather, without and with a position.
def wx_values(with_cs):
    out = ""
    if with_cs:
        out += "c%03ds%03d" % (rng.randint(0, 360), rng.randint(0, 60))
    out += "g%03dt%s" % (rng.randint(0, 90), "%03d" % rng.randint(0, 110) if rng.random() < 0.8
                          else "-%02d" % rng.randint(1, 30))
    out += "r%03dp%03dP%03d" % (rng.randint(0, 200), rng.randint(0, 300), rng.randint(0, 300))
    out += "h%02db%05d" % (rng.randint(0, 99), rng.randint(9500, 10500))
    return out


for i in range(10):
    lines.append(header() + "_%02d%02d%02d%02d" % (rng.randint(1, 12), rng.randint(1, 28),
                                                   rng.randrange(24), rng.randrange(60)) +
                 wx_values(True) + rng.choice(["wRSW", "eMB3", "", "xDvs"]))
for i in range(10):
    lat, lon = rand_pos()
    lines.append(header() + rng.choice("!=") + lat_text(lat) + "/" + lon_text(lon) + "_" +
                 "%03d/%03d" % (rng.randint(1, 360), rng.randint(0, 60)) + wx_values(False))

# Telemetry of two stations, before and after their definitions.
for station in ["N0QBF-11", "DL1ABC-9"]:
    def report(seq):
        vals = ",".join("%03d" % rng.randint(0, 255) for _ in range(5))
        bits = "".join(rng.choice("01") for _ in range(8))
        return "%s>APRS:T#%03d,%s,%s" % (station, seq, vals, bits)
    lines.append(report(1))
    lines.append(report(2))
    lines.append("%s>APRS::%s:PARM.Vbat,Temp,Press,Light,Wind,Door,Alarm,Heat,Fan,Pump,Gen,Aux,Spare"
                 % (station, station.ljust(9)))
    lines.append(report(3))
    lines.append("%s>APRS::%s:UNIT.V,C,hPa,lux,m/s,open,on,on,on,on,on,on,on"
                 % (station, station.ljust(9)))
    lines.append("%s>APRS::%s:EQNS.0,0.075,0,0,0.5,-40,0.01,1,900,0,10,0,0,0.2,0"
                 % (station, station.ljust(9)))
    for seq in range(4, 9):
        lines.append(report(seq))

for line in lines:
    print(line)
