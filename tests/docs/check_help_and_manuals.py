#!/usr/bin/env python3
"""Each Linux program's --help, in every language, and its manual page are written by hand, in
different places and formats, and once drifted apart. This holds them to each other and to
the code: the same options and name fields in the help (English source, English and Russian
translations) as in the manual's OPTIONS, and the manual's defaults and limits as the code
has them (the help takes those from the code itself).

    check_help_and_manuals.py SOURCE-ROOT
"""
import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

OPTION = re.compile(r"(?<![\w-])(--?[a-z][a-z-]*)")
FIELD = re.compile(r"\{[a-z]+\}")


def constant(text, name):
    """The value of `name = <digits and * + ->;` in a C++ header."""
    match = re.search(rf"\b{name}\s*=\s*([0-9 *+()-]+);", text)
    if not match:
        raise SystemExit(f"{name} not found")
    return eval(match.group(1), {"__builtins__": {}})  # digits and operators only


def manual_options_section(page):
    text = page.read_text(encoding="utf-8").replace("\\-", "-").replace("\\ ", " ")
    match = re.search(r"^\.SH OPTIONS$(.*?)^\.SH ", text, re.S | re.M)
    if not match:
        raise SystemExit(f"{page}: no OPTIONS section")
    return match.group(1)


def help_texts(root, message_id):
    """The help as written (the English source) and as each translation shows it."""
    texts = {}
    for ts in sorted((root / "platform/qt/translations").glob("dravolin_*.ts")):
        for message in ET.parse(ts).getroot().iter("message"):
            if message.get("id") == message_id:
                texts[f"{ts.name} source"] = message.findtext("source")
                texts[f"{ts.name} translation"] = message.findtext("translation")
    if not texts:
        raise SystemExit(f"no message {message_id}")
    return texts


def main():
    root = Path(sys.argv[1])
    pattern = re.search(r'kDefaultPattern\s*=\s*"([^"]*)"',
                        (root / "archive/BagName.h").read_text()).group(1)
    most = constant((root / "engine/ArchiveCommandLine.h").read_text(), "kMaxDiscMinutes")
    default = constant((root / "engine/ArchiveSettings.h").read_text(), "discSeconds") // 60
    failures = []
    for message_id, page in (("commandLine.help", "platform/qt/product/dravolin.1"),
                             ("archiveProgram.help", "platform/cli/dravolin-archive.1")):
        options = manual_options_section(root / page)
        want_options = set(OPTION.findall(options))
        want_fields = set(FIELD.findall(options))
        for where, text in help_texts(root, message_id).items():
            for kind, want, got in (("options", want_options, set(OPTION.findall(text))),
                                    ("fields", want_fields, set(FIELD.findall(text)))):
                if got != want:
                    failures.append(f"{where} ({message_id}) against {page}: {kind} "
                                    f"only in the help {sorted(got - want)}, "
                                    f"only in the manual {sorted(want - got)}")
        # As a reader sees it: no macros, no quotes, punctuation against its word.
        flat = re.sub(r"^\.[A-Z]+ ?", "", options, flags=re.M).replace('"', "")
        flat = re.sub(r" ([.,;])", r"\1", " ".join(flat.split()))
        for says, what in ((f"The default is {pattern}.", "the default name pattern"),
                           (f"from 1 to {most}; the default is {default}.",
                            "the disc time's limit and default")):
            if says not in flat:
                failures.append(f"{page}: {what} is not '{says}'")
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
