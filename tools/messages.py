#!/usr/bin/env python3
"""The user's texts about the module's messages, made from one table (release/messages.toml),
and x9host's own lines, made from the table beside it (release/x9host-messages.toml).

  messages.py docs                  writes docs/messages.md
  messages.py docs --check          fails when docs/messages.md is not what the table gives
  messages.py texts DIR --version V writes the release's はじめにお読みください.txt and
                                    README.txt into DIR (UTF-8 with BOM, CRLF, as Notepad expects)
  messages.py check-catalogue DUMP  compares every text of the table with the module's bytes, as
                                    printed by the program DUMP (tests/release/catalogue_dump.cpp)
  messages.py x9host-code DIR       writes x9host's os/messages.h and os/messages.cpp into DIR
                                    (the build does), after checking the table; they hold the
                                    English of the module's texts too (messages.toml's `en`)
  messages.py x9host-check          checks x9host's table: both texts, the same placeholders

Standard library only.
"""

import argparse
import difflib
import re
import subprocess
import sys
import tomllib
import unicodedata
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TABLE = ROOT / "release" / "messages.toml"
DOCS_PAGE = ROOT / "docs" / "messages.md"
# Zip file name, template in the tree, language.
TEXT_FILES = [
    ("はじめにお読みください.txt", ROOT / "release" / "readme-ja.txt", "ja"),
    ("README.txt", ROOT / "release" / "readme-en.txt", "en"),
]
X9HOST_TABLE = ROOT / "release" / "x9host-messages.toml"
MESSAGE_COUNT = 27
TOO_OLD_HOST = "too-old-host"
# Notepad does not wrap lines unless asked: keep every line within this many columns (a
# full-width character takes two).
TEXT_WIDTH = 78

SHOWN = {
    "stop": {"ja": "エラー アイコンのメッセージ ボックス（［OK］）", "en": "message box, error icon, OK"},
    "warning": {"ja": "警告アイコンのメッセージ ボックス（［OK］）", "en": "message box, warning icon, OK"},
    "information": {"ja": "情報アイコンのメッセージ ボックス（［OK］）", "en": "message box, information icon, OK"},
    "question": {"ja": "質問のメッセージ ボックス（［はい］［いいえ］）", "en": "question box, Yes and No"},
    "progress": {"ja": "進行状況ウィンドウの表示文", "en": "the progress window's text"},
    "never": {"ja": "表示されません", "en": "never shown"},
}

# The groups a reader looks in, in this order; within a group the entries keep the table's order.
GROUPS = [
    ("question", {"ja": "確認の質問", "en": "Questions"}),
    ("box", {"ja": "エラーとお知らせ", "en": "Errors and notices"}),
    ("progress", {"ja": "進行状況ウィンドウ", "en": "The progress window"}),
    ("never", {"ja": "表示されないテキスト", "en": "Texts never shown"}),
]

LABELS = {
    "ja": {"shown": "表示", "when": "意味", "todo": "対処", "name": "（ルートの名前）", "number": "No. {}",
           "too_old": "起動時"},
    "en": {"shown": "Shown as", "when": "Meaning", "todo": "What to do", "name": "(the route's name)",
           "number": "No. {}", "too_old": "start-up"},
}


class TableError(Exception):
    pass


def load_table(path=TABLE):
    """The entries, checked: numbers 0 to 26 in order, then the too-old-host text."""
    with open(path, "rb") as f:
        data = tomllib.load(f)
    messages = data.get("message", [])
    if [m.get("id") for m in messages] != list(range(MESSAGE_COUNT)):
        raise TableError(f"{path}: the messages must be numbered 0 to {MESSAGE_COUNT - 1}, in order")
    if "too_old_host" not in data:
        raise TableError(f"{path}: no [too_old_host] entry")
    entries = messages + [dict(data["too_old_host"], id=TOO_OLD_HOST)]
    for entry in entries:
        where = f"{path}: message {entry['id']}"
        unknown = set(entry) - {"id", "text", "en", "shown", "when", "todo", "adds_route_name"}
        if unknown:
            raise TableError(f"{where}: unknown fields {sorted(unknown)}")
        if not isinstance(entry.get("text"), str) or not entry["text"]:
            raise TableError(f"{where}: no text")
        # The English is one line: x9host shows it indented under the module's text.
        if not isinstance(entry.get("en"), str) or not entry["en"].strip() or "\n" in entry["en"]:
            raise TableError(f"{where}: no en (the text in English, on one line)")
        if entry.get("shown") not in SHOWN:
            raise TableError(f"{where}: shown must be one of {', '.join(SHOWN)}")
        needed = ["when"] if entry["shown"] == "never" else ["when", "todo"]
        for field in needed:
            for language in ("ja", "en"):
                if not entry.get(field, {}).get(language, "").strip():
                    raise TableError(f"{where}: no {field}.{language}")
        if entry["shown"] == "never" and "todo" in entry:
            raise TableError(f"{where}: a text never shown has nothing to do")
    return entries


def group_of(entry):
    if entry["shown"] in ("stop", "warning", "information"):
        return "box"
    return entry["shown"]


def grouped(entries):
    for key, title in GROUPS:
        members = [e for e in entries if group_of(e) == key]
        # The host check first (the first a user can meet), texts about one route last.
        members.sort(key=lambda e: 0 if e["id"] == TOO_OLD_HOST else 2 if e.get("adds_route_name") else 1)
        yield key, title, members


def shown_lines(entry):
    """The text as the user sees it, line by line (a final line feed shows as nothing)."""
    lines = entry["text"].rstrip("\n").split("\n")
    return lines


def number(entry, language):
    if entry["id"] == TOO_OLD_HOST:
        return LABELS[language]["too_old"]
    return LABELS[language]["number"].format(entry["id"])


# --- x9host's own lines ----------------------------------------------------------------------

X9HOST_ID = re.compile(r"[a-z][a-z0-9]*(-[a-z0-9]+)*")
PLACEHOLDER = re.compile(r"\{\{|\}\}|\{([a-z][a-z0-9_]*)(?:[:?]([^{}|]+)\|([^{}|]+))?\}|[{}]")
CPP_KEYWORDS = {"and", "auto", "bool", "break", "case", "char", "class", "const", "default", "delete",
                "do", "double", "else", "enum", "false", "float", "for", "if", "int", "long", "new",
                "not", "or", "private", "public", "return", "short", "signed", "static", "struct",
                "switch", "this", "true", "union", "unsigned", "void", "while"}


def placeholders(text, where, pronouns=None):
    """The placeholders' names in order of first use; raises TableError on a stray brace. Names
    used only to choose a word ("{n?it|them}") go to pronouns too, when given: another
    language need not use them."""
    names, shown = [], set()
    for match in PLACEHOLDER.finditer(text):
        token = match.group(0)
        if token in ("{{", "}}"):
            continue
        if match.group(1) is None:
            raise TableError(f"{where}: a lone '{token}' (write '{token * 2}' for a brace)")
        if match.group(1) not in names:
            names.append(match.group(1))
        if "?" not in token:
            shown.add(match.group(1))
    if pronouns is not None:
        pronouns.update(set(names) - shown)
    return names


def load_x9host_table(path=X9HOST_TABLE):
    """x9host's entries, checked: ids unique, both texts, the same placeholders in both."""
    with open(path, "rb") as f:
        data = tomllib.load(f)
    entries = data.get("message", [])
    seen = set()
    for entry in entries:
        where = f"{path.name}: {entry.get('id', '(no id)')}"
        if not isinstance(entry.get("id"), str) or not X9HOST_ID.fullmatch(entry["id"]):
            raise TableError(f"{where}: an id is lower-case words joined by '-'")
        if entry["id"] in seen:
            raise TableError(f"{where}: the id is used twice")
        seen.add(entry["id"])
        unknown = set(entry) - {"id", "en", "ja", "note"}
        if unknown:
            raise TableError(f"{where}: unknown fields {sorted(unknown)}")
        for language in ("en", "ja"):
            if not isinstance(entry.get(language), str) or not entry[language]:
                raise TableError(f"{where}: no {language} text")
        pronouns = set()
        english = placeholders(entry["en"], where + " (en)", pronouns)
        japanese = placeholders(entry["ja"], where + " (ja)")
        if sorted(set(english) - (pronouns - set(japanese))) != sorted(japanese):
            raise TableError(f"{where}: the placeholders differ: en {english}, ja {japanese}")
        for name in english:
            if name in CPP_KEYWORDS:
                raise TableError(f"{where}: '{name}' cannot name a placeholder")
        words = re.sub(r"[A-Za-z]+[./\\-][A-Za-z./\\-]*|--[a-z-]+|<[a-z:]+>|X9HOST_[A-Z]+|\{[^}]*\}", "",
                       entry["en"])
        if entry["ja"] == entry["en"] and re.search(r"[A-Za-z]{3,}", words):
            raise TableError(f"{where}: the Japanese is the English")
        entry["names"] = english
    return entries


def function_name(identifier):
    return "".join(part.capitalize() for part in identifier.split("-"))


def cpp_string(text):
    """A C++ literal of text; the sources are UTF-8, so Japanese stays as it is."""
    escaped = text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n").replace("\t", "\\t")
    return f'"{escaped}"'


def x9host_code(entries, module_entries):
    header = [
        "// Generated by tools/messages.py from release/x9host-messages.toml: edit the table.",
        "#pragma once",
        "",
        "#include <cstddef>",
        "#include <string>",
        "",
        '#include "os/say.h"',
        "",
        "namespace x9host::msg {",
        "",
    ]
    source = [
        "// Generated by tools/messages.py from release/x9host-messages.toml: edit the table.",
        '#include "os/messages.h"',
        "",
        "namespace x9host::msg {",
        "",
    ]
    for entry in entries:
        parameters = ", ".join(f"const os::Arg& {name}" for name in entry["names"])
        name = function_name(entry["id"])
        header.append(f"// {entry['en']}".replace("\n", "\\n"))
        header.append(f"std::string {name}({parameters});")
        header.append(f"extern const os::MessageTexts k{name};")
        names = "".join(f'"{n}", ' for n in entry["names"])
        source.append(f"static const char* const k{name}Names[] = {{{names}nullptr}};")
        source.append(f"const os::MessageTexts k{name} = {{{cpp_string(entry['en'])},")
        source.append(f"    {cpp_string(entry['ja'])}, k{name}Names, {len(entry['names'])}}};")
        arguments = ", ".join(f"&{n}" for n in entry["names"])
        source.append(f"std::string {name}({parameters}) {{ return os::Say(k{name}, {{{arguments}}}); }}")
        source.append("")
    # The module's texts in English, by the module's id; the too-old-host text last.
    header += [
        "// The English of the module's texts (release/messages.toml's en), by the module's id;",
        "// the text Init shows when the host is too old last.",
        f"inline constexpr size_t kModuleEnglishCount = {len(module_entries)};",
        "extern const char* const kModuleEnglish[kModuleEnglishCount];",
    ]
    source.append("const char* const kModuleEnglish[kModuleEnglishCount] = {")
    source += [f"    {cpp_string(entry['en'])}," for entry in module_entries]
    source.append("};")
    source.append("")
    header += ["", "}  // namespace x9host::msg", ""]
    source += ["}  // namespace x9host::msg", ""]
    return "\n".join(header), "\n".join(source)


def write_if_changed(path, text):
    # An unchanged file keeps its time, so that nothing is rebuilt for nothing.
    if not path.exists() or path.read_text(encoding="utf-8") != text:
        path.write_text(text, encoding="utf-8")


# --- plain text, wrapped for Notepad ---------------------------------------------------------

OPENING = set("（「『【〔［｛〈《")
CLOSING = set("）」』】〕］｝〉》、。，．・：；？！ーぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮ々")


def width(text):
    return sum(2 if unicodedata.east_asian_width(c) in ("W", "F", "A") else 1 for c in text)


def tokens(text):
    """Pieces that stay on one line, each with whether a space came before it."""
    pieces = []
    space = False
    i = 0
    while i < len(text):
        c = text[i]
        if c == " ":
            space = True
            i += 1
            continue
        if width(c) == 1:
            j = i
            while j < len(text) and text[j] != " " and width(text[j]) == 1:
                j += 1
            pieces.append([text[i:j], space])
            i = j
        else:
            pieces.append([c, space])
            i += 1
        space = False
    # No line starts with closing punctuation or ends with opening punctuation.
    merged = []
    for piece in pieces:
        if merged and not piece[1] and (piece[0][0] in CLOSING or merged[-1][0][-1] in OPENING):
            merged[-1][0] += piece[0]
        else:
            merged.append(piece)
    return merged


def wrap(text, first_prefix, rest_prefix, limit=TEXT_WIDTH):
    lines = []
    current, current_width = first_prefix, width(first_prefix)
    empty = True
    for piece, space in tokens(text):
        addition = (" " if space and not empty else "") + piece
        if not empty and current_width + width(addition) > limit:
            lines.append(current.rstrip())
            current, current_width = rest_prefix + piece, width(rest_prefix + piece)
        else:
            current += addition
            current_width += width(addition)
        empty = False
    lines.append(current.rstrip())
    return lines


LIST_MARKER = re.compile(r"^\s*(?:[-*]\s+|・|\d+\.\s+)?")


def reflow(template_line):
    """A template line as it goes into the text file: long lines wrapped, list items hanging.
    An indented line (a command, a listing) is never wrapped: it must stay as it is to be typed."""
    if width(template_line) <= TEXT_WIDTH or template_line.startswith("  "):
        return [template_line.rstrip()]
    match = LIST_MARKER.match(template_line)
    head = match.group(0)
    return wrap(template_line[len(head):], head, " " * width(head))


def message_table_text(entries, language):
    labels = LABELS[language]
    label_width = max(width(labels[k]) for k in ("shown", "when", "todo"))
    out = []
    for _, title, members in grouped(entries):
        # (A tilde line would read as an overline in a Japanese font.)
        out.append(f"【{title['ja']}】" if language == "ja" else f"=== {title['en']} ===")
        out.append("")
        for entry in members:
            tag = f"［{number(entry, language)}］" if language == "ja" else f"[{number(entry, language)}] "
            # The text hangs further in than the notes about it, so the two cannot be mixed up.
            hanging = " " * width(tag)
            indent = " " * 4
            lines = shown_lines(entry)
            out.extend(wrap(lines[0], tag, hanging))
            for line in lines[1:]:
                out.extend(wrap(line, hanging, hanging) if line else [""])
            if entry.get("adds_route_name"):
                out.append(hanging + labels["name"])

            def field(label, text):
                pad = " " * (label_width - width(label))
                separator = "：" if language == "ja" else ": "
                prefix = indent + label + pad + separator
                out.extend(wrap(text, prefix, " " * width(prefix)))

            if entry["shown"] != "never":  # the group's title says it
                field(labels["shown"], SHOWN[entry["shown"]][language])
            field(labels["when"], entry["when"][language])
            if "todo" in entry:
                field(labels["todo"], entry["todo"][language])
            out.append("")
    return out[:-1]


def text_file(template_path, language, version, entries):
    lines = []
    for line in template_path.read_text(encoding="utf-8").split("\n"):
        if line.strip() == "@MESSAGES@":
            lines.extend(message_table_text(entries, language))
        elif re.fullmatch(r"([=-])\1{2,}", line) and lines:
            # A heading's underline as wide as the heading.
            lines.append(line[0] * width(lines[-1]))
        else:
            lines.extend(reflow(line.replace("@VERSION@", version)))
    while lines and lines[-1] == "":
        lines.pop()
    too_long = [l for l in lines if width(l) > TEXT_WIDTH and not l.startswith("  ")]
    if too_long:
        raise TableError(f"{template_path}: lines wider than {TEXT_WIDTH} columns: {too_long[:3]}")
    # Notepad's own form: a byte-order mark and CR LF line ends.
    return ("\ufeff" + "\r\n".join(lines) + "\r\n").encode("utf-8")


# --- the docs page ---------------------------------------------------------------------------

def markdown_escape(text):
    return re.sub(r"([\\`*_<>|\[\]])", r"\\\1", text)


def docs_page(entries):
    out = [
        "# Messages of x9link · x9link のメッセージ",
        "",
        "<!-- Generated by tools/messages.py from release/messages.toml and",
        "     release/x9host-messages.toml: edit the tables, then run tools/messages.py docs.",
        "     A test fails when this page is out of date. -->",
        "",
        "Every text the plug-in can show, exactly as it appears, with what it means and what to do. "
        "The message boxes are in Japanese only; the English beside each text is what x9host shows "
        "under it to a reader of English. The same table is in the release's `README.txt` "
        "and `はじめにお読みください.txt`.",
        "",
        "プラグインが表示するすべてのテキストと、その意味・対処です。English の列は、x9host が"
        "英語の利用者にテキストの下に表示する英訳です。リリースの "
        "`はじめにお読みください.txt` と `README.txt` にも同じ一覧があります。",
        "",
        "| No. | text · テキスト | English | shown as · 表示 |",
        "|---|---|---|---|",
    ]
    for _, _, members in grouped(entries):
        for entry in members:
            first = markdown_escape(shown_lines(entry)[0])
            more = " …" if len(shown_lines(entry)) > 1 or entry.get("adds_route_name") else ""
            out.append(f"| [{number(entry, 'en')}](#{anchor(entry)}) | {first}{more} | "
                       f"{markdown_escape(entry['en'])} | "
                       f"{SHOWN[entry['shown']]['en']} · {SHOWN[entry['shown']]['ja']} |")
    out.append("")
    for _, title, members in grouped(entries):
        out.append(f"## {title['en']} · {title['ja']}")
        out.append("")
        for entry in members:
            out.append(f'<a id="{anchor(entry)}"></a>')
            out.append(f"### {number(entry, 'en')}")
            out.append("")
            for line in shown_lines(entry):
                out.append(f"> {markdown_escape(line)}<br>" if line else ">")
            if entry.get("adds_route_name"):
                out.append(f"> *{LABELS['en']['name']} · {LABELS['ja']['name']}*")
            else:
                out[-1] = out[-1].removesuffix("<br>")
            out.append("")
            out.append(f"In English: {markdown_escape(entry['en'])}")
            out.append("")
            out.append("| | English | 日本語 |")
            out.append("|---|---|---|")
            if entry["shown"] != "never":
                out.append(f"| shown as · 表示 | {SHOWN[entry['shown']]['en']} | {SHOWN[entry['shown']]['ja']} |")
            out.append(f"| meaning · 意味 | {markdown_escape(entry['when']['en'])} | "
                       f"{markdown_escape(entry['when']['ja'])} |")
            if "todo" in entry:
                out.append(f"| what to do · 対処 | {markdown_escape(entry['todo']['en'])} | "
                           f"{markdown_escape(entry['todo']['ja'])} |")
            out.append("")
    return "\n".join(out)


def x9host_docs_section(entries):
    """x9host's lines in both languages, in the table's order."""
    out = [
        "",
        "## x9host's lines · x9host の表示",
        "",
        "Every line the console host x9host writes itself, in English and in Japanese "
        "(`X9HOST_LANG=en` or `ja` chooses; else the locale). `{name}` is filled in when the line is "
        "written; `{n:one|many}` is a count with its English word.",
        "",
        "x9host が表示するすべての行の英語と日本語です（`X9HOST_LANG=en` または `ja` で選べます。"
        "指定がなければロケールに従います）。`{name}` の部分には表示のときに値が入ります。",
        "",
        "| id | English | 日本語 |",
        "|---|---|---|",
    ]
    for entry in entries:
        english = markdown_escape(entry["en"]).replace("\n", "<br>")
        japanese = markdown_escape(entry["ja"]).replace("\n", "<br>")
        out.append(f"| `{entry['id']}` | {english} | {japanese} |")
    return "\n".join(out)


def anchor(entry):
    return "too-old-host" if entry["id"] == TOO_OLD_HOST else f"message-{entry['id']}"


# --- the module's own bytes ------------------------------------------------------------------

def check_catalogue(entries, dump_program):
    """The dump prints one line per text: its number (or too-old-host), a tab, the bytes in hex."""
    output = subprocess.run([dump_program], check=True, capture_output=True, text=True).stdout
    module = {}
    for line in output.splitlines():
        key, _, hex_bytes = line.partition("\t")
        module[key] = bytes.fromhex(hex_bytes)
    failures = []
    expected_keys = [str(e["id"]) for e in entries]
    if sorted(module) != sorted(expected_keys):
        failures.append(f"the module has texts {sorted(module)}, the table {sorted(expected_keys)}")
    for entry in entries:
        key = str(entry["id"])
        if key not in module:
            continue
        try:
            table_bytes = entry["text"].encode("cp932")
        except UnicodeEncodeError as error:
            failures.append(f"message {key}: the table's text has a character code page 932 lacks: {error}")
            continue
        if table_bytes != module[key]:
            try:
                module_text = module[key].decode("cp932")
            except UnicodeDecodeError:
                module_text = repr(module[key])
            failures.append(f"message {key}:\n  module: {module_text!r}\n  table:  {entry['text']!r}")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    docs = commands.add_parser("docs", help="write (or --check) docs/messages.md")
    docs.add_argument("--check", action="store_true")
    texts = commands.add_parser("texts", help="write the release's two text files")
    texts.add_argument("directory", type=Path)
    texts.add_argument("--version", required=True)
    catalogue = commands.add_parser("check-catalogue", help="compare with the module's bytes")
    catalogue.add_argument("dump_program")
    code = commands.add_parser("x9host-code", help="write x9host's os/messages.h and .cpp")
    code.add_argument("directory", type=Path)
    commands.add_parser("x9host-check", help="check x9host's table")
    args = parser.parse_args()

    if args.command.startswith("x9host-"):
        try:
            x9host_entries = load_x9host_table()
            module_entries = load_table()
        except (TableError, tomllib.TOMLDecodeError) as error:
            print(f"messages.py: {error}", file=sys.stderr)
            return 1
        if args.command == "x9host-check":
            print(f"messages.py: all {len(x9host_entries)} of x9host's messages have both texts "
                  "with the same placeholders")
            return 0
        header, source = x9host_code(x9host_entries, module_entries)
        (args.directory / "os").mkdir(parents=True, exist_ok=True)
        write_if_changed(args.directory / "os" / "messages.h", header)
        write_if_changed(args.directory / "os" / "messages.cpp", source)
        return 0

    try:
        entries = load_table()
    except (TableError, tomllib.TOMLDecodeError) as error:
        print(f"messages.py: {error}", file=sys.stderr)
        return 1

    if args.command == "docs":
        try:
            x9host_entries = load_x9host_table()
        except (TableError, tomllib.TOMLDecodeError) as error:
            print(f"messages.py: {error}", file=sys.stderr)
            return 1
        page = docs_page(entries) + "\n" + x9host_docs_section(x9host_entries) + "\n"
        if args.check:
            current = DOCS_PAGE.read_text(encoding="utf-8") if DOCS_PAGE.exists() else ""
            if current != page:
                diff = difflib.unified_diff(current.splitlines(), page.splitlines(),
                                            "docs/messages.md", "from release/messages.toml", lineterm="")
                print("\n".join(list(diff)[:40]))
                print("messages.py: docs/messages.md is out of date: run tools/messages.py docs",
                      file=sys.stderr)
                return 1
            print("messages.py: docs/messages.md is up to date")
            return 0
        DOCS_PAGE.write_text(page, encoding="utf-8")
        print(f"messages.py: wrote {DOCS_PAGE.relative_to(ROOT)}")
        return 0

    if args.command == "texts":
        args.directory.mkdir(parents=True, exist_ok=True)
        try:
            for name, template, language in TEXT_FILES:
                (args.directory / name).write_bytes(text_file(template, language, args.version, entries))
        except TableError as error:
            print(f"messages.py: {error}", file=sys.stderr)
            return 1
        return 0

    failures = check_catalogue(entries, args.dump_program)
    for failure in failures:
        print(f"messages.py: {failure}", file=sys.stderr)
    if failures:
        return 1
    print(f"messages.py: all {len(entries)} texts of the table are the module's, byte for byte")
    return 0


if __name__ == "__main__":
    sys.exit(main())
