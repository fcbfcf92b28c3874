#!/usr/bin/env python3
"""Checks expected.tsv against the pages: every selector finds exactly one control, every control
(input, select, textarea) is listed once and in document order, select values exist, radio and
checkbox rows say checked or -, and values fit the control's maxlength and pattern.
Controls that a page's inline script creates are accepted when the script names their id."""
import os, re, sys
from html.parser import HTMLParser

HERE = os.path.dirname(os.path.abspath(__file__))
CONTROLS = ('input', 'select', 'textarea')

class Page(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.elems, self.select, self.option = [], None, None
    def handle_starttag(self, tag, attrs):
        a = {k: (v if v is not None else '') for k, v in attrs}
        self.elems.append((tag, a, []))
        if tag == 'select':
            self.select = self.elems[-1][2]
        elif tag == 'option' and self.select is not None:
            self.option = [a.get('value'), '']
    def handle_data(self, data):
        if self.option is not None:
            self.option[1] += data
    def handle_endtag(self, tag):
        if tag in ('option', 'select') and self.option is not None:
            v, t = self.option
            self.select.append(v if v is not None else t.strip())
            self.option = None
        if tag == 'select':
            self.select = None

SEL = re.compile(r'^([a-z]+)?(?:#([A-Za-z_][\w-]*))?((?:\[[\w-]+="[^"]*"\])*)$')

def matches(sel, tag, a):
    m = SEL.match(sel)
    if not m:
        raise ValueError('unsupported selector ' + sel)
    if m.group(1) and m.group(1) != tag or m.group(2) and a.get('id') != m.group(2):
        return False
    return all(a.get(k) == v for k, v in re.findall(r'\[([\w-]+)="([^"]*)"\]', m.group(3)))

def main():
    errors = []
    rows = [l.rstrip('\n').split('\t') for l in open(os.path.join(HERE, 'expected.tsv'), encoding='utf-8')]
    if rows[0] != ['page', 'selector', 'expect']:
        errors.append('bad header')
    pages = {}
    for r in rows[1:]:
        if len(r) != 3 or not r[2]:
            errors.append('bad row %r' % r); continue
        if r[1].startswith('@'):
            if r[1] == '@profile' and not os.path.exists(os.path.join(HERE, r[2])):
                errors.append('%s: no profile %s' % (r[0], r[2]))
            continue  # how the page is filled, or boxes joined
        pages.setdefault(r[0], []).append((r[1], r[2]))
    # Pages in a folder came from elsewhere: they list only the controls they score.
    files = sorted(os.path.relpath(os.path.join(d, f), HERE) for d, _, fs in os.walk(HERE) for f in fs
                   if f.endswith('.html'))
    for f in set(files) ^ set(pages):
        errors.append('page without rows or rows without page: ' + f)
    count = 0
    for name in files:
        text = open(os.path.join(HERE, name), encoding='utf-8').read()
        p = Page(); p.feed(text)
        controls = [i for i, e in enumerate(p.elems) if e[0] in CONTROLS]
        count += len(controls)
        seen = []
        for sel, expect in pages.get(name, []):
            hits = [i for i, (t, a, _) in enumerate(p.elems) if matches(sel, t, a)]
            if not hits:
                ident = sel[1:] if sel.startswith('#') else sel[5:-2] if sel.startswith('[id="') else None
                if ident and ("'%s'" % ident) in text and 'createElement' in text:
                    count += 1; continue
                errors.append('%s: %s matches nothing' % (name, sel)); continue
            if len(hits) > 1 or hits[0] not in controls:
                errors.append('%s: %s matches %d elements or no control' % (name, sel, len(hits))); continue
            i = hits[0]; seen.append(i)
            tag, a, options = p.elems[i]
            kind = a.get('type', 'text').lower() if tag == 'input' else tag
            if expect == '-':
                continue
            if expect.startswith('any:'):
                continue  # values written elsewhere, each checked there
            if kind in ('radio', 'checkbox'):
                if expect != 'checked': errors.append('%s: %s wants checked or -' % (name, sel))
            elif kind == 'select':
                # A page from elsewhere may add its options by script.
                if expect not in options and not ('/' in name and '<script' in text):
                    errors.append('%s: %s has no option %s' % (name, sel, expect))
            else:
                if 'maxlength' in a and len(expect) > int(a['maxlength']):
                    errors.append('%s: %s value longer than maxlength' % (name, sel))
                if 'pattern' in a and not re.fullmatch(a['pattern'], expect):
                    errors.append('%s: %s value %s does not fit pattern' % (name, sel, expect))
        if seen != controls and '/' not in name:
            missing = [p.elems[i][1] for i in controls if i not in seen]
            errors.append('%s: controls missing, repeated or out of order: %r' % (name, missing[:3]))
    print('%d pages, %d rows, %d controls' % (len(files), len(rows) - 1, count))
    for e in errors:
        print(e)
    return 1 if errors else 0

sys.exit(main())
