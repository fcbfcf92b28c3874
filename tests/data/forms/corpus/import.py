#!/usr/bin/env python3
"""Turns a set of pages written elsewhere (pages/*.html, profile.json, expected.json with per page
`fields`, `joint`, `language` and `state`; with stored `people`, `household` too) into a folder of this
corpus and its rows of expected.tsv.

    python3 import.py SOURCE_DIR FOLDER [--fields-only]

copies SOURCE_DIR/pages/*.html and SOURCE_DIR/profile.json to FOLDER/ and replaces the rows of FOLDER's
pages in expected.tsv. Run by hand when a set arrives; the copies are what the tests read."""
import json, os, re, shutil, sys

HERE = os.path.dirname(os.path.abspath(__file__))


def selector(key):
    if '=' in key:
        name, value = key.split('=', 1)
        return 'input[name="%s"][value="%s"]' % (name, value)
    return '[id="%s"]' % key


def expectation(entry, key=''):
    if entry == 'untouched':
        return '-'
    values = list(entry['any'])
    if '=' in key and values == ['']:
        return '-'  # a radio button or check box that is not to be checked: as it was
    values += ['?' + v for v in entry.get('missed', [])]
    if len(values) == 1 and values[0] and not values[0].startswith(('any:', '?')) and values[0] != '-':
        return values[0]
    return 'any:' + '|'.join(values)


# The key is the control's id, else its name; a page that builds its controls by script names ids
# in its own way.
def control(key, ids, text):
    if '=' in key:
        name, value = key.split('=', 1)
        if name in ids and not re.search(r'''name\s*[=:]\s*["']%s["']''' % re.escape(name), text):
            return '[id="%s"]' % name  # a check box known by its id
        return selector(key)
    if key in ids:
        return selector(key)
    if re.search(r'''name\s*[=:]\s*["']%s["']''' % re.escape(key), text):
        return '[name="%s"]' % key
    return selector(key)


def rows_of(folder, page, described, ids, text, expectations='fields', profile='profile.json', prefix=''):
    path = '%s/%s%s' % (folder, prefix, page)
    rows = [(path, '@profile', '%s/%s' % (folder, profile))]
    if described.get('language') == 'en':
        rows.append((path, '@language', 'en'))
    if described.get('state'):
        # The page renders again from its own state before the values are read: a value the
        # framework never heard of is gone.
        rows.append((path, '@rerender', '__kfRerender'))
    for key, entry in described[expectations].items():
        rows.append((path, control(key, ids, text), expectation(entry, key)))
    for joint in described.get('joint', []):
        sels = [control(k, ids, text) for k in joint['fields']]
        rows.append((path, '@joint ' + '&'.join(sels), 'any:' + '|'.join(joint['join_any'])))
    return rows


def ids_of(text):
    return set(re.findall(r'''\bid\s*[=:]\s*["']([^"']+)["']''', text))


def main():
    source, folder = sys.argv[1], sys.argv[2]
    target = os.path.join(HERE, folder)
    os.makedirs(target, exist_ok=True)
    profile = json.load(open(os.path.join(source, 'profile.json'), encoding='utf-8'))
    people = profile.pop('people', None)
    # The user's own rows are filled without the stored people; a set with people gets a second run of
    # its pages (through the link "household" to its own folder) with them, against `household`.
    if people is None:
        shutil.copy(os.path.join(source, 'profile.json'), target)
    else:
        json.dump(profile, open(os.path.join(target, 'profile.json'), 'w', encoding='utf-8'), ensure_ascii=False,
                  indent=1)
        profile['people'] = people
        json.dump(profile, open(os.path.join(target, 'household.json'), 'w', encoding='utf-8'),
                  ensure_ascii=False, indent=1)
        if not os.path.lexists(os.path.join(target, 'household')):
            os.symlink('.', os.path.join(target, 'household'))
    expected = json.load(open(os.path.join(source, 'expected.json'), encoding='utf-8'))
    new = []
    for page in sorted(expected):
        shutil.copy(os.path.join(source, 'pages', page), target)
        text = open(os.path.join(target, page), encoding='utf-8').read()
        new += rows_of(folder, page, expected[page], ids_of(text), text)
        if people is not None and 'household' in expected[page]:
            new += rows_of(folder, page, expected[page], ids_of(text), text, 'household', 'household.json',
                           'household/')
    table = os.path.join(HERE, 'expected.tsv')
    lines = open(table, encoding='utf-8').read().rstrip('\n').split('\n')
    kept = [l for l in lines[1:] if not l.startswith(folder + '/')]
    rows = sorted([tuple(l.split('\t')) for l in kept] + new, key=lambda r: r[0])  # stable: rows keep order
    with open(table, 'w', encoding='utf-8') as out:
        out.write(lines[0] + '\n')
        for r in rows:
            out.write('\t'.join(r) + '\n')
    print('%d pages, %d rows into %s' % (len(expected), len(new), folder))


main()
