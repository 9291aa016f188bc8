#!/usr/bin/env python3
"""The catalogs cover every text: olstrin.pot holds exactly the texts xgettext finds in the
sources today, each has a non-empty, non-fuzzy English text in en.po, each id with no Chinese in
it has a Chinese text in zh.po (and zh.po nothing else), and each translation has its id's printf
conversions in the same order and its id's Qt %N markers.

usage: catalog_test.py PO_DIR SOURCE_DIR XGETTEXT [XGETTEXT_ARGS...] -- SOURCES..."""
import os
import re
import subprocess
import sys
import tempfile

C_FORMAT = re.compile(r"%(?:\d+\$)?[-+ #0']*(?:\d+|\*)?(?:\.\d+)?(?:hh|h|ll|l|z|j|t|L)?[diouxXeEfFgGcsp%]")
QT_MARKER = re.compile(r"%\d+")


def unquote(text):
    return re.sub(r'\\(.)', lambda m: {'n': '\n', 't': '\t'}.get(m.group(1), m.group(1)), text)


def read_catalog(path):
    """{msgid: (msgstr, fuzzy)} of a .po or .pot file, the header left out."""
    entries, fuzzy, field, values = {}, False, None, {}

    def finish():
        nonlocal fuzzy, values
        if values.get('msgid'):
            entries[values['msgid']] = (values.get('msgstr', ''), fuzzy)
        fuzzy, values = False, {}

    with open(path, encoding='utf-8') as f:
        for line in f:
            line = line.strip()
            if line.startswith('#,') and 'fuzzy' in line:
                fuzzy = True
            elif line.startswith('msgid '):
                finish() if 'msgstr' in values else None
                field = 'msgid'
                values['msgid'] = unquote(line[7:-1])
            elif line.startswith('msgstr '):
                field = 'msgstr'
                values['msgstr'] = unquote(line[8:-1])
            elif line.startswith('"') and field:
                values[field] += unquote(line[1:-1])
            elif not line and 'msgstr' in values:
                finish()
    finish()
    return entries


def conversions(text):
    c_format = [m.group(0) for m in C_FORMAT.finditer(text)]
    rest = C_FORMAT.sub('', text)
    return c_format, sorted(QT_MARKER.findall(rest))


def main():
    po_dir, source_dir, command = sys.argv[1], sys.argv[2], sys.argv[3:]
    split = command.index('--')
    xgettext, sources = command[:split], command[split + 1:]
    faults = []
    with tempfile.TemporaryDirectory() as tmp:
        fresh = os.path.join(tmp, 'fresh.pot')
        subprocess.run(xgettext + ['-o', fresh] + sources, cwd=source_dir, check=True)
        extracted = set(read_catalog(fresh))
    template = set(read_catalog(os.path.join(po_dir, 'olstrin.pot')))
    for msgid in sorted(extracted - template):
        faults.append(f'not in olstrin.pot (build olstrin_pot): {msgid!r}')
    for msgid in sorted(template - extracted):
        faults.append(f'in olstrin.pot but no longer in the sources: {msgid!r}')
    english = read_catalog(os.path.join(po_dir, 'en.po'))
    chinese = read_catalog(os.path.join(po_dir, 'zh.po'))
    english_ids = {msgid for msgid in extracted if msgid.isascii()}
    for msgid in sorted(set(chinese) - english_ids):
        faults.append(f'in zh.po but no English id in the sources: {msgid!r}')
    for name, catalog, ids in (('English', english, extracted), ('Chinese', chinese, english_ids)):
        for msgid in sorted(ids):
            msgstr, fuzzy = catalog.get(msgid, ('', False))
            if not msgstr or fuzzy:
                faults.append(f'no {name} text: {msgid!r}')
            elif conversions(msgid) != conversions(msgstr):
                faults.append(f'placeholders differ: {msgid!r} -> {msgstr!r}')
    for fault in faults:
        print(fault)
    print(f'{len(extracted)} texts, {len(faults)} faults')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
