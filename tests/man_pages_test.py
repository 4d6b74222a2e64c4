"""The manual pages against the programs: each page renders without a warning from man (as
lintian checks it), names the project's version as the program's --version does, and its
OPTIONS list exactly the options that the program's --help lists.

Usage: man_pages_test.py --pages DIR PROGRAM... (each PROGRAM a path; its page is DIR/NAME.1).
Programs that take no options (tavrel, tavrel-monitor) have no OPTIONS section and no --help.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

# An option at the start of a --help line: "  -q,--quiet", "  -h, --help", "  --list".
HELP_OPTION = re.compile(r"^\s+(-[A-Za-z](?:,\s*--[a-z][a-z-]*)?|--[a-z][a-z-]*)")
OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][A-Za-z-]*)")


def plain(roff):
    """The page's text with roff's escaped hyphens and font changes made plain."""
    return re.sub(r"\\f[BIRP]", "", roff.replace("\\-", "-"))


def help_options(program):
    out = subprocess.run([program, "--help"], capture_output=True, text=True, check=True).stdout
    found = set()
    for line in out.splitlines():
        match = HELP_OPTION.match(line)
        if match:
            found.update(OPTION.findall(match.group(1)))
    return found


def page_options(page):
    """The options each .TP entry of the OPTIONS section names, and all the section's text."""
    section = re.search(r"^\.SH OPTIONS\n(.*?)(?=^\.SH )", page, re.S | re.M)
    if not section:
        return set(), ""
    text = section.group(1)
    tags = re.findall(r"^\.TP\n(.*)$", text, re.M)
    return {o for tag in tags for o in OPTION.findall(tag)}, text


def check(program, pages):
    name = os.path.basename(program)
    failures = []
    path = os.path.join(pages, name + ".1")
    if not os.path.exists(path):
        return ["%s: no manual page at %s" % (name, path)]
    with open(path) as f:
        page = plain(f.read())
    if shutil.which("man"):
        warnings = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", path],
                                  capture_output=True, text=True, env=dict(os.environ, MANWIDTH="80"))
        if warnings.returncode != 0 or warnings.stderr.strip():
            failures.append("%s: man warns: %s" % (name, warnings.stderr.strip()[:300]))
    heading = re.match(r'\.TH (\S+) 1 "[^"]*" "Tavrel ([^"]+)"', page)
    if not heading or heading.group(1) != name.upper():
        failures.append("%s: the page's .TH line does not name it in section 1 for Tavrel" % name)
    listed, text = page_options(page)
    if not text:
        return failures
    version = subprocess.run([program, "--version"], capture_output=True, text=True).stdout.strip()
    if heading and version != "%s %s" % (name, heading.group(2)):
        failures.append("%s: --version says %r, the page is for Tavrel %s" % (name, version, heading.group(2)))
    helped = help_options(program)
    for option in sorted(helped - listed):
        failures.append("%s: %s is in --help but not in the page's OPTIONS" % (name, option))
    for option in sorted(listed - helped):
        failures.append("%s: %s is in the page's OPTIONS but not in --help" % (name, option))
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pages", required=True)
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    failures = [f for program in args.programs for f in check(program, args.pages)]
    for f in failures:
        print("FAIL: " + f)
    if failures:
        sys.exit(1)
    print("%d manual pages match their programs" % len(args.programs))


if __name__ == "__main__":
    main()
