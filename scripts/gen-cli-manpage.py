#!/usr/bin/env python3
"""Writes the manual page of zarnex-cli from the program's own --help texts.

usage: gen-cli-manpage.py ZARNEX_CLI VERSION OUTPUT

Every command the program lists gets a section with its synopsis and its help, so the page
always describes the commands that exist.
"""
import os
import re
import subprocess
import sys


def run_help(cli, *args):
    r = subprocess.run([cli, *args, "--help"], capture_output=True, text=True, timeout=60,
                       env={**os.environ, "QT_QPA_PLATFORM": "offscreen"})
    if r.returncode != 0:
        sys.exit(f"{cli} {' '.join(args)} --help failed ({r.returncode}): {r.stderr}")
    return r.stdout


def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    if text.startswith((".", "'")):
        text = "\\&" + text
    return text


def preformatted(lines):
    out = [".nf"]
    for line in lines:
        out.append(roff(line) if line.strip() else "")
    out.append(".fi")
    return out


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    cli, version, output = sys.argv[1:]
    top = run_help(cli).splitlines()
    commands = []
    listed = False
    for line in top:
        if line.strip() == "commands:":
            listed = True
            continue
        if listed:
            if not line.strip():
                break
            name = line.split()[0]
            if name not in commands:
                commands.append(name)
    if not commands:
        sys.exit("no commands found in the --help text")
    # The text after the command list: the --settings option and the conventions.
    tail = top[top.index("") + 1:] if "" in top else []
    tail = tail[tail.index("") + 1:] if "" in tail else tail

    page = [
        '.TH ZARNEX\\-CLI 1 "" "zarnex\\-cli %s" "User Commands"' % roff(version),
        ".SH NAME",
        "zarnex\\-cli \\- batch front end of the operator's client Зарнекс\\-Клиент\\-Авто",
        ".SH SYNOPSIS",
        ".B zarnex\\-cli",
        "[\\fB\\-\\-settings\\fR \\fIFILE\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR...]",
        ".br",
        ".B zarnex\\-cli",
        "\\fICOMMAND\\fR \\fB\\-\\-help\\fR",
        ".SH DESCRIPTION",
        "\\fBzarnex\\-cli\\fR runs the jobs of the client's windows without a window, from cron,",
        "a timer or a script (the commands below): creating and updating the database, fetching",
        "the archive, importing device files, moving object settings between workstations.",
        "It reads the client's own settings file, found as the client finds it, and does",
        "exactly what the window's command does; where the window would ask a question, an",
        "option answers it.",
        ".SH OPTIONS",
    ]
    page += preformatted(tail)
    page.append(".SH COMMANDS")
    for name in commands:
        text = run_help(cli, name).splitlines()
        usage = text[0]
        usage = re.sub(r"^usage: zarnex-cli \[--settings FILE\] ", "", usage)
        body = text[1:]
        while body and not body[0].strip():
            body = body[1:]
        page.append(".SS " + roff(usage))
        page += preformatted(body)
    page += [
        ".SH EXIT STATUS",
        ".TP",
        ".B 0",
        "the job is done",
        ".TP",
        ".B 1",
        "the job failed; a one\\-line reason is on standard error",
        ".TP",
        ".B 2",
        "bad usage; the usage is on standard error",
        ".SH ENVIRONMENT",
        ".TP",
        ".B XDG_CONFIG_HOME",
        "where the per\\-user settings folder \\fIZarnexClientAuto\\fR lies (default",
        "\\fI~/.config\\fR)",
        ".TP",
        ".BR ZARNEX_DB_USER ", " ZARNEX_DB_PASSWORD",
        "the login of \\fBcreate\\-db\\fR (default the client's default login)",
        ".TP",
        ".B FIREBIRD_LOCK",
        "the embedded engine's lock folder (default for a user other than root:",
        "\\fI/tmp/zarnex\\-fblock\\-UID\\fR)",
        ".SH FILES",
        ".TP",
        ".I zarnex\\-client.ini",
        "in the program folder: the global settings; with \\fB[SettingsLocation] UserPath=1\\fR",
        "each user's settings are",
        ".IR ~/.config/ZarnexClientAuto/zarnex\\-client.ini .",
        ".TP",
        ".I update/UPDB.sql",
        "in the program folder: the database update script used by \\fBcreate\\-db\\fR and",
        "\\fBupdate\\-db\\fR.",
        ".SH SEE ALSO",
        ".BR zarnex\\-client (1)",
    ]
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    tmp = output + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write("\n".join(page) + "\n")
    os.replace(tmp, output)


if __name__ == "__main__":
    main()
