"""Reads .reg files as Wine's reg and our pellvarin-reg write them, and
predicts what Save with every format checked writes under Wine.

  regfile.py sections FILE [--except PREFIX...]
                                      prints each key and its values, sorted
  regfile.py expect-select-all TABLE MACHINE USER_FILEEXTS
      prints the per-user classes that the applier writes for every format,
      given the .reg exports of HKEY_CLASSES_ROOT's extension keys and of the
      per-user FileExts key before the run.
"""
import sys


def read_text(path):
    data = open(path, "rb").read()
    if data.startswith(b"\xff\xfe"):
        text = data[2:].decode("utf-16-le")
    else:
        text = data.decode("utf-8-sig")
    return text.replace("\r\n", "\n")


def sections(path):
    """{key (case-folded): (key, [value lines])}; continuation lines joined."""
    result = {}
    current = None
    pending = ""
    for line in read_text(path).split("\n"):
        line = pending + line
        if line.endswith("\\") and current is not None:
            pending = line[:-1].strip() if pending else line[:-1]
            continue
        pending = ""
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1]
            current = key.lower()
            result[current] = (key, [])
        elif current is not None and line.strip() and not line.startswith(";"):
            result[current][1].append(line.replace(",  ", ",").strip())
    return result


def value_of(lines, name):
    """The string data of value NAME (@ for the unnamed one), or None."""
    prefix = "@=" if name == "@" else '"%s"=' % name
    for line in lines:
        if line.lower().startswith(prefix.lower()) and line[len(prefix):].startswith('"'):
            return line[len(prefix) + 1:-1].replace('\\\\', '\\')
    return None


def expect_select_all(table, machine, fileexts):
    machine = sections(machine)
    fileexts = sections(fileexts)
    root = "hkey_classes_root\\"
    fe_root = "hkey_current_user\\software\\microsoft\\windows\\currentversion\\explorer\\fileexts\\"
    formats = []
    for line in open(table):
        parts = line.rstrip("\n").split("\t")
        if len(parts) == 5:
            formats.append((parts[1], [e for e in parts[3].split(",") if e]))
    # The window lists the formats sorted by their text, the name and a tab.
    rows = sorted(formats, key=lambda f: f[0] + "\t")
    overrides = {k[len(fe_root):]: value_of(v, "ProgId") for k, (_, v) in fileexts.items()
                 if k.startswith(fe_root) and k.count("\\") == fe_root.count("\\")}
    user = {}
    for name, extensions in rows:
        prog_id = "Talvimor." + name
        for extension in extensions:
            key = "." + extension
            previous = ""
            override = overrides.get(key.lower())
            if override is not None and override != prog_id:
                previous = override
                del overrides[key.lower()]
            if not previous:
                previous = value_of(machine.get(root + key.lower(), ("", []))[1], "@") or ""
            if previous != prog_id:
                entry = user.setdefault(key.lower(), {"key": key, "with": set()})
                if previous:
                    entry["with"].add(previous)
                entry["default"] = prog_id
    for _, entry in sorted(user.items()):
        print("%s\t%s\timage\t%s" % (entry["key"], entry["default"],
                                      ",".join(sorted(entry["with"], key=str.lower))))


def main():
    if sys.argv[1] == "sections":
        # Keys below any --except prefix are left out.
        skip = tuple(p.lower() for p in sys.argv[3:] if p != "--except")
        for folded, (key, lines) in sorted(sections(sys.argv[2]).items()):
            if skip and folded.startswith(skip):
                continue
            print("[%s]" % key)
            for line in sorted(lines, key=str.lower):
                print(line)
    elif sys.argv[1] == "expect-select-all":
        expect_select_all(*sys.argv[2:5])
    elif sys.argv[1] == "user-classes":
        # What HKEY_CURRENT_USER\Software\Classes holds, in the same shape.
        user = sections(sys.argv[2])
        prefix = "hkey_current_user\\software\\classes\\"
        for k, (key, lines) in sorted(user.items()):
            rest = key[len(prefix):]
            if not k.startswith(prefix) or "\\" in rest or not rest.startswith("."):
                continue
            with_ = user.get(k + "\\openwithprogids", ("", []))[1]
            names = sorted((l.split("=")[0].strip('"') for l in with_), key=str.lower)
            print("%s\t%s\t%s\t%s" % (rest, value_of(lines, "@"), value_of(lines, "PerceivedType"),
                                      ",".join(names)))
    else:
        sys.exit("unknown command " + sys.argv[1])


if __name__ == "__main__":
    main()
