#!/usr/bin/env python3
"""Reads the Subject and From of mail files with Python's email package (policy.default), as an
independent reading for the tests to compare the program's with.

Usage: read_subject_from.py FILE...
Prints a JSON list with one entry per file: {"subject": [name, value] or null, "from": ...},
where name is the first such field's name as the file spells it.

From is read as unstructured text, like Subject: the program shows the field as sent with its
encoded words decoded, while policy.default's address reading rewrites it (quoting, comments
dropped) and rejects some real-world addresses outright.

The values are put in the form the program shows by design: control characters (Unicode Cc) and
line or paragraph separators as blanks, bidirectional formatting characters dropped, and no
blanks around the value.
"""
import email
import email.headerregistry
import email.policy
import json
import sys
import unicodedata

POLICY = email.policy.default.clone(
    header_factory=email.headerregistry.HeaderRegistry(use_default_map=False))

BIDI_FORMATTING = {'\u061c', '\u200e', '\u200f', '\u202a', '\u202b', '\u202c', '\u202d', '\u202e',
                   '\u2066', '\u2067', '\u2068', '\u2069'}


def shown(value):
    chars = []
    for c in value.strip(' \t'):
        if c in BIDI_FORMATTING:
            continue
        blank = unicodedata.category(c) == 'Cc' or c in '\u2028\u2029'
        chars.append(' ' if blank else c)
    return ''.join(chars)


def field(message, wanted):
    for name in message.keys():
        if name.lower() == wanted:
            return [name, shown(str(message.get(name)))]
    return None


def main(paths):
    readings = []
    for path in paths:
        with open(path, 'rb') as f:
            message = email.message_from_bytes(f.read(), policy=POLICY)
        readings.append({'subject': field(message, 'subject'), 'from': field(message, 'from')})
    json.dump(readings, sys.stdout)


if __name__ == '__main__':
    main(sys.argv[1:])
