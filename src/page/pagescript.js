// The browser's script in a page: finds the form controls of the main frame and of its same-origin
// frames, describes them for recognition and writes into them the way typing does. Installed once
// per document, when first needed, as a function of the typing function (typing.js), of the
// document's watcher (watcher.js), which holds the controls' handles and what appeared, and of
// settings: { generateIds: true } where no classic bridge gives controls without an id or a
// name their identifiers ("unknown1", … in document order, kept by the script, not written into
// the page).
// Kept to what the classic engine runs (ES5: no arrow functions, no let, no fetch, no Proxy).
(function (type, watcher, settings) {
    settings = settings || {};
    var generated = 0;
    var CONTROLS = 'input,select,textarea,INPUT,SELECT,TEXTAREA';
    var BOUNDARY = /^(FORM|BODY|TABLE|FIELDSET|HTML)$/;
    var FIELD = /^(INPUT|SELECT|TEXTAREA)$/;
    var handleOf = watcher.handleOf;

    function clean(text) {
        return String(text || '').replace(/\s+/g, ' ').replace(/^ | $/g, '').slice(0, 80);
    }

    function textOf(n) {
        var t = n.innerText;
        return typeof t === 'string' ? t : n.textContent;
    }

    function windowOf(n) {
        var d = n.ownerDocument || n;
        return d.defaultView || window;
    }

    // The documents to work in: this one, then its same-origin frames, depth first. A frame of
    // another origin has no contentDocument for us and is left alone.
    function documents() {
        var found = [];
        function add(doc, path, frameElement) {
            found.push({ doc: doc, path: path, frame: frameElement });
            var frames = doc.querySelectorAll('iframe,frame,IFRAME,FRAME');
            for (var i = 0; i < frames.length; ++i) {
                var sub = null;
                try { sub = frames[i].contentDocument; } catch (x) {}
                if (sub && sub.documentElement) {
                    var key = frames[i].id || frames[i].getAttribute('name') || ('#' + i);
                    add(sub, path ? path + '/' + key : key, frames[i]);
                }
            }
        }
        add(document, '', null);
        return found;
    }

    function holdsControls(n) {
        return FIELD.test(n.tagName) || !!n.querySelector('input,select,textarea');
    }

    function enclosingLabel(el) {
        for (var up = el.parentNode; up && up.nodeType === 1 && !BOUNDARY.test(up.tagName); up = up.parentNode) {
            if (up.tagName === 'LABEL') {
                var own = textOf(el) || '';
                return clean(textOf(up).replace(own, ''));
            }
        }
        return '';
    }

    // The heading of the row the control sits in: the cell before its cell (a <th> or a <td>), the
    // <dt> before its <dd>, or the element before its container, whichever comes first going up.
    function rowLabel(el) {
        var depth = 0;
        for (var up = el.parentNode; up && up.nodeType === 1 && !BOUNDARY.test(up.tagName) && depth < 4;
             up = up.parentNode, ++depth) {
            var before = up.previousElementSibling;
            var cell = up.tagName === 'TD' || up.tagName === 'DD';
            if (!before || holdsControls(before)) {
                if (cell) return '';
                continue;
            }
            var text = clean(textOf(before));
            if (text && text.length <= 40) return text;
            if (cell) return '';
        }
        return '';
    }

    // The text right before the control within its parent: text nodes, or the one element before it
    // such as <span>姓</span>, never another control's text.
    function textBefore(el) {
        var t = '';
        var brokenLine = false;
        for (var n = el.previousSibling; n; n = n.previousSibling) {
            if (n.nodeType === 3) {
                t = n.data + t;
                if (/\S/.test(t)) break;
                continue;
            }
            if (n.nodeType === 1 && n.tagName === 'BR') brokenLine = true;
            if (n.nodeType !== 1 || n.tagName === 'BR') continue;
            if (holdsControls(n)) break;
            if (brokenLine && noteOfControl(n)) break;
            t = n.textContent + t;
            break;
        }
        return clean(t);
    }

    // Whether an element sits right after a control on its line: the note under that control
    // (<input><br><span>市区町村名</span><br><input>), not the label of the next one.
    function noteOfControl(n) {
        for (var p = n.previousSibling; p; p = p.previousSibling) {
            if (p.nodeType === 3 && !/\S/.test(p.data)) continue;
            if (p.nodeType === 1 && p.tagName === 'BR') continue;
            return p.nodeType === 1 && holdsControls(p);
        }
        return false;
    }

    // The text right after the control within its parent, up to the next control: notes such as
    // ハイフン不要 or an example.
    function textAfter(el) {
        var t = '';
        for (var n = el.nextSibling; n && t.length < 80; n = n.nextSibling) {
            if (n.nodeType === 3) {
                t += n.data;
                continue;
            }
            if (n.nodeType !== 1 || n.tagName === 'BR') continue;
            if (holdsControls(n)) break;
            t += n.textContent;
        }
        return clean(t);
    }

    function labelledBy(el, doc) {
        var ids = (el.getAttribute('aria-labelledby') || '').split(/\s+/), texts = [];
        for (var i = 0; i < ids.length; ++i) {
            var target = ids[i] ? doc.getElementById(ids[i]) : null;
            if (target) texts.push(textOf(target));
        }
        return clean(texts.join(' '));
    }

    function isDisabled(el) {
        try { return el.matches(':disabled'); } catch (x) {}
        try { return el.webkitMatchesSelector(':disabled'); } catch (x) {}
        return !!el.disabled;
    }

    function zeroClip(style) {
        var clip = style.clip || '';
        var m = /rect\(\s*([-\d.]+)px[ ,]+([-\d.]+)px[ ,]+([-\d.]+)px[ ,]+([-\d.]+)px/.exec(clip);
        if (m && (parseFloat(m[3]) - parseFloat(m[1]) < 2 || parseFloat(m[2]) - parseFloat(m[4]) < 2)) return true;
        var path = style.clipPath || style.webkitClipPath || '';
        var inset = /inset\(\s*(\d+(\.\d+)?)%/.exec(path);
        return !!inset && parseFloat(inset[1]) >= 50;
    }

    // What an element passes on to everything inside it, worked out once a scan for each element
    // (controls share their ancestors): whether it hides them, the legend of the nearest fieldset,
    // and the boxes of the ancestors that clip what overflows them, as [left, top, right, bottom]
    // with null for a side they do not clip.
    var scanStamp = 0;
    function inherited(n) {
        if (n.__kakikomiStamp === scanStamp) return n.__kakikomiInherited;
        var parent = n.parentNode;
        var up = parent && parent.nodeType === 1 ? inherited(parent) : null;
        var doc = n.ownerDocument, s = windowOf(n).getComputedStyle(n);
        var info = {
            hides: (up && up.hides) || !s || s.display === 'none' || n.hidden || parseFloat(s.opacity) < 0.05
                || zeroClip(s),
            legend: up ? up.legend : '',
            clips: up ? up.clips : []
        };
        if (n.tagName === 'FIELDSET') {
            info.legend = '';
            for (var c = n.firstElementChild; c; c = c.nextElementSibling) {
                if (c.tagName === 'LEGEND') { info.legend = clean(textOf(c)); break; }
            }
        }
        if (s && n !== doc.body && n !== doc.documentElement) {
            var x = /(hidden|clip)/.test(s.overflowX || s.overflow), y = /(hidden|clip)/.test(s.overflowY || s.overflow);
            if (x || y) {
                var r = n.getBoundingClientRect();
                info.clips = info.clips.concat([[x ? r.left : null, y ? r.top : null, x ? r.right : null, y ? r.bottom : null]]);
            }
        }
        n.__kakikomiStamp = scanStamp;
        n.__kakikomiInherited = info;
        return info;
    }

    function legendOf(el) {
        var parent = el.parentNode;
        return parent && parent.nodeType === 1 ? inherited(parent).legend : '';
    }

    // Whether the user can see the element in its own document: rendered, not transparent, with a
    // box of some size inside the page and inside every ancestor that clips what overflows it.
    function seen(el, page) {
        var style = windowOf(el).getComputedStyle(el);
        if (!style || style.visibility === 'hidden' || style.visibility === 'collapse') return false;
        if (inherited(el).hides) return false;
        var r = el.getBoundingClientRect();
        var left = r.left, top = r.top, right = r.right, bottom = r.bottom;
        var clips = el.parentNode && el.parentNode.nodeType === 1 ? inherited(el.parentNode).clips : [];
        for (var i = 0; i < clips.length; ++i) {
            var c = clips[i];
            if (c[0] !== null) { left = Math.max(left, c[0]); right = Math.min(right, c[2]); }
            if (c[1] !== null) { top = Math.max(top, c[1]); bottom = Math.min(bottom, c[3]); }
        }
        if (right - left < 2 || bottom - top < 2) return false;
        // Off the page: placed where no scrolling reaches it.
        return right + page.x > 0 && bottom + page.y > 0 && left + page.x < page.width && top + page.y < page.height;
    }

    // The page's scrollable area and where it is scrolled to, once a scan for each document.
    function pageOf(doc) {
        var w = doc.defaultView || window, root = doc.documentElement, body = doc.body;
        return {
            x: w.pageXOffset || 0,
            y: w.pageYOffset || 0,
            width: Math.max(root.scrollWidth, body ? body.scrollWidth : 0, root.clientWidth),
            height: Math.max(root.scrollHeight, body ? body.scrollHeight : 0, root.clientHeight)
        };
    }

    function options(el) {
        var found = [];
        var list = el.getElementsByTagName('option');
        for (var i = 0; i < list.length; ++i) {
            var text = clean(list[i].textContent);
            found.push([text, list[i].hasAttribute('value') ? list[i].getAttribute('value') : text]);
        }
        return found;
    }

    function effectiveIdentifier(el) {
        var id = el.getAttribute('id') || '', name = el.getAttribute('name') || '';
        if (id.replace(/\s/g, '')) return id;
        if (name.replace(/\s/g, '')) return name;
        if (!settings.generateIds || el.tagName !== 'INPUT') return '';
        if (!el.__kakikomiId) el.__kakikomiId = 'unknown' + (++generated);
        return el.__kakikomiId;
    }

    // Which control answers to each identifier when rules are applied: the last one in document order
    // registered under it, as its identifier or (inputs) its name; selects and text areas apart.
    function owners(doc) {
        var table = { INPUT: {}, SELECT: {}, TEXTAREA: {} };
        var all = doc.querySelectorAll(CONTROLS);
        for (var i = 0; i < all.length; ++i) {
            var el = all[i], kind = table[el.tagName], own = effectiveIdentifier(el);
            if (!kind) continue;
            if (own) kind['=' + own] = el;
            var name = el.getAttribute('name') || '';
            if (name && (el.tagName === 'INPUT' || name.replace(/\s/g, ''))) kind['=' + name] = el;
        }
        return table;
    }

    function formKey(el, entry) {
        var form = el.form;
        if (!form) return '';
        var forms = entry.doc.forms;
        for (var i = 0; i < forms.length; ++i) {
            if (forms[i] === form) return entry.path + ':' + i;
        }
        return entry.path + ':?';
    }

    // ---- Sections: the page's own grouping of its controls, for telling whose each part is. ----

    // A short text that titles a block: a heading, a legend, a caption, an element styled as a
    // heading or a bold line alone.
    function titleLike(e) {
        if (!e || e.nodeType !== 1 || holdsControls(e)) return false;
        var text = clean(textOf(e));
        if (!text || text.length > 40) return false;
        if (/^(H[1-6]|LEGEND|CAPTION|STRONG|B)$/.test(e.tagName)) return true;
        if (/(head|title|ttl|hdr|caption)|[-_](h|hd|cap)(\s|$)/i.test(String(e.className || ''))) return true;
        var only = e.children && e.children.length === 1 ? e.children[0] : null;
        return !!only && /^(STRONG|B|H[1-6])$/.test(only.tagName) && /^(P|DIV|SPAN|DT)$/.test(e.tagName);
    }

    // The title of a container of controls, if it has one: its legend or caption, its first child
    // when that is a title, or the title right before it.
    function blockTitleOf(n) {
        if (n.tagName === 'FIELDSET' || n.tagName === 'TABLE') {
            for (var c = n.firstElementChild; c; c = c.nextElementSibling) {
                if (c.tagName === 'LEGEND' || c.tagName === 'CAPTION') return clean(textOf(c));
            }
        }
        if (n.tagName === 'FORM' || n.tagName === 'TR' || n.tagName === 'TD' || n.tagName === 'LABEL') return '';
        if (titleLike(n.firstElementChild)) return clean(textOf(n.firstElementChild));
        if (titleLike(n.previousElementSibling)) return clean(textOf(n.previousElementSibling));
        return '';
    }

    // The titled containers around the control, outermost first: [key, title] pairs, the key telling
    // one container from another within a scan.
    function blocksOf(el, context) {
        var found = [];
        // Up to the form: what titles the form itself is the page's, not a part's.
        for (var up = el.parentNode; up && up.nodeType === 1 && up.tagName !== 'BODY' && up.tagName !== 'FORM';
             up = up.parentNode) {
            if (!holdsControls(up)) continue;
            var title = blockTitleOf(up);
            if (!title) continue;
            var index = context.blocks.indexOf(up);
            if (index < 0) {
                index = context.blocks.length;
                context.blocks.push(up);
            }
            found.unshift([String(index), title]);
        }
        return found;
    }

    function cellOf(el) {
        for (var up = el.parentNode; up && up.nodeType === 1 && up.tagName !== 'TABLE'; up = up.parentNode) {
            if (up.tagName === 'TD' || up.tagName === 'TH') return up;
        }
        return null;
    }

    // The header of the control's table column, when the table's first row heads its columns
    // (本人 | 配偶者).
    function columnOf(el) {
        var cell = cellOf(el), row = cell && cell.parentNode;
        var table = row && row.parentNode && row.parentNode.parentNode;
        if (!table || table.tagName !== 'TABLE' || !table.rows || !table.rows.length) return '';
        var head = table.rows[0];
        if (head === row || holdsControls(head)) return '';
        var column = 0;
        for (var c = row.firstElementChild; c && c !== cell; c = c.nextElementSibling) column += c.colSpan || 1;
        for (var h = head.firstElementChild, at = 0; h; h = h.nextElementSibling) {
            if (at === column) return clean(textOf(h));
            at += h.colSpan || 1;
            if (at > column) return '';
        }
        return '';
    }

    // The text of a <th rowspan> that spans the control's row from a row above or its own, else of
    // the nearest caption row above it (one cell across the table, no controls).
    function rowGroupOf(el) {
        var cell = cellOf(el), row = cell && cell.parentNode;
        var rows = row && row.parentNode ? row.parentNode.children : null;
        if (!rows) return '';
        var index = -1;
        for (var i = 0; i < rows.length; ++i) if (rows[i] === row) index = i;
        for (var d = 0; d <= index && d < 20; ++d) {
            var r = rows[index - d];
            for (var c = r.firstElementChild; c && c !== cell; c = c.nextElementSibling) {
                if ((c.rowSpan || 1) > Math.max(d, 1) && !holdsControls(c)) return clean(textOf(c));
            }
        }
        for (var k = index - 1; k >= 0; --k) {
            var only = rows[k].children.length === 1 ? rows[k].children[0] : null;
            if (only && (only.colSpan || 1) > 1 && !holdsControls(only)) return clean(textOf(only));
        }
        return '';
    }

    function describe(el, entry, context) {
        var doc = entry.doc;
        var id = el.getAttribute('id') || '';
        var own = effectiveIdentifier(el);
        var identifier = own && entry.path ? entry.path + '/' + own : own;
        var label = id ? (context.labels['=' + id] || '') : '';
        if (!label) label = enclosingLabel(el);
        var max = parseInt(el.getAttribute('maxlength'), 10);
        var select = el.tagName === 'SELECT';
        while (context.heading + 1 < context.headings.length
               && (context.headings[context.heading + 1].compareDocumentPosition(el) & 4)) {
            ++context.heading;
        }
        var heading = context.heading >= 0 ? context.headings[context.heading] : null;
        return {
            handle: handleOf(el),
            frame: entry.path,
            identifier: identifier,
            owns: !!own && context.owners[el.tagName]['=' + own] === el,
            form: formKey(el, entry),
            tag: el.tagName,
            type: select ? '' : (el.getAttribute('type') || ''),
            htmlType: String(el.type || '').toLowerCase(),
            name: el.getAttribute('name') || '',
            id: id,
            autocomplete: el.getAttribute('autocomplete') || '',
            label: label,
            labelledBy: labelledBy(el, doc),
            title: el.getAttribute('title') || '',
            textBefore: textBefore(el),
            textAfter: textAfter(el),
            rowLabel: rowLabel(el),
            legend: legendOf(el),
            heading: heading && !heading.contains(el) ? clean(textOf(heading)) : '',
            placeholder: el.getAttribute('placeholder') || '',
            ariaLabel: el.getAttribute('aria-label') || '',
            maxLength: isNaN(max) || max < 0 ? -1 : max,
            pattern: el.getAttribute('pattern') || '',
            inputMode: el.getAttribute('inputmode') || '',
            value: select ? '' : String(el.value),
            readOnly: el.hasAttribute('readonly'),
            disabled: el.hasAttribute('disabled') || isDisabled(el),
            visible: context.frameSeen && seen(el, context.page),
            options: select ? options(el) : [],
            selectedIndex: select ? el.selectedIndex : -1,
            checked: !!el.checked,
            blocks: blocksOf(el, context),
            headingOutside: !!heading && !heading.contains(el) && !!el.form && !el.form.contains(heading),
            column: columnOf(el),
            rowGroup: rowGroupOf(el)
        };
    }

    function contextFor(entry) {
        var labels = {};
        var list = entry.doc.querySelectorAll('label[for]');
        for (var i = 0; i < list.length; ++i) {
            var key = '=' + list[i].getAttribute('for');
            if (!(key in labels)) labels[key] = clean(textOf(list[i]));
        }
        var frameSeen = true;
        for (var f = entry.frame; f && frameSeen; f = windowOf(f).frameElement) {
            frameSeen = seen(f, pageOf(f.ownerDocument));
        }
        return {
            labels: labels,
            owners: owners(entry.doc),
            headings: entry.doc.querySelectorAll('h1,h2,h3,h4,h5,h6,H1,H2,H3,H4,H5,H6'),
            heading: -1,
            blocks: [],
            frameSeen: frameSeen,
            page: pageOf(entry.doc)
        };
    }

    // Describes the controls that pass only (all when it is null) in document order; from the
    // same-origin frames alone when framesOnly.
    function scan(only, framesOnly) {
        ++scanStamp;
        var records = [];
        var docs = documents();
        for (var d = framesOnly ? 1 : 0; d < docs.length; ++d) {
            var entry = docs[d];
            var all = entry.doc.querySelectorAll(CONTROLS);
            var context = null;
            for (var i = 0; i < all.length; ++i) {
                if (only && !only(all[i])) continue;
                context = context || contextFor(entry);
                records.push(describe(all[i], entry, context));
            }
        }
        return records;
    }

    function stateOf(el, found, written) {
        var select = el && el.tagName === 'SELECT';
        return [found, written, el && !select ? String(el.value) : (select ? String(el.value) : ''),
                select ? el.selectedIndex : -1, !!(el && el.checked)];
    }

    function live(handle) {
        var el = watcher.element(handle);
        return el && el.ownerDocument && el.ownerDocument.documentElement
            && el.ownerDocument.documentElement.contains(el) ? el : null;
    }

    // Checks a radio button or check box the way a click does, unless it is checked already.
    function check(el) {
        if (el.checked) return false;
        try { el.focus(); } catch (x) {}
        el.click();
        try { el.blur(); } catch (x) {}
        return !!el.checked;
    }

    // Takes the check off a radio button or check box, with the events a page's own state follows.
    function uncheck(el) {
        if (!el.checked) return false;
        try { el.focus(); } catch (x) {}
        el.checked = false;
        var names = ['input', 'change'];
        for (var i = 0; i < names.length; ++i) {
            try {
                var e = el.ownerDocument.createEvent('Event');
                e.initEvent(names[i], true, false);
                el.dispatchEvent(e);
            } catch (x) {}
        }
        try { el.blur(); } catch (x) {}
        return !el.checked;
    }

    // writes: [[handle, text, how]], how 0 replace, 1 at the selection, 2 if empty, 3 if unchosen,
    // 4 check, 5 uncheck (the text is not used by the last two).
    function write(writes) {
        var states = [];
        for (var i = 0; i < writes.length; ++i) {
            var el = live(writes[i][0]), text = writes[i][1], how = writes[i][2], written = true;
            if (!el) {
                states.push([false, false, '', -1, false]);
                continue;
            }
            if (how === 4) {
                written = check(el);
            } else if (how === 5) {
                written = uncheck(el);
            } else if (how === 2) {
                written = type(el, text, 2)[0];
            } else if (how === 3) {
                var current = el.selectedIndex, chosen = el.options && el.options[current];
                var value = chosen ? (chosen.hasAttribute('value') ? chosen.getAttribute('value') : clean(chosen.textContent)) : '';
                written = !(current > 0 && value !== '');
                if (written) type(el, text, 0);
            } else {
                type(el, text, how === 1 ? 1 : 0);
            }
            states.push(stateOf(el, true, written));
        }
        return states;
    }

    function read(handles) {
        var states = [];
        for (var i = 0; i < handles.length; ++i) {
            var el = live(handles[i]);
            states.push(el ? stateOf(el, true, false) : [false, false, '', -1, false]);
        }
        return states;
    }

    // Generated identifiers follow the document order of the controls there are now.
    if (settings.generateIds) {
        var docs = documents();
        for (var i = 0; i < docs.length; ++i) owners(docs[i].doc);
    }

    return {
        scan: function (framesOnly) { return scan(null, !!framesOnly); },
        // The controls added since the last call that are still in their documents.
        takeAppeared: function () {
            var pending = watcher.takePending();
            var seenHandles = {};
            var wanted = {};
            for (var i = 0; i < pending.length; ++i) {
                var el = pending[i];
                if (el.ownerDocument && el.ownerDocument.documentElement.contains(el)) {
                    wanted[handleOf(el)] = true;
                }
            }
            return scan(function (el) {
                var h = el.__kakikomiHandle;
                if (!h || !wanted[h] || seenHandles[h]) return false;
                seenHandles[h] = true;
                return true;
            });
        },
        describe: function (handles) {
            var wanted = {};
            for (var i = 0; i < handles.length; ++i) wanted[handles[i]] = true;
            return scan(function (el) { return !!wanted[el.__kakikomiHandle]; });
        },
        // Large answers cross into the browser faster as one text than as nested values; only with
        // the engine's own JSON.stringify, which a page may have replaced.
        text: (function () {
            var stringify = JSON.stringify, native = false;
            try { native = /\[native code\]/.test(Function.prototype.toString.call(stringify)); } catch (x) {}
            return function (value) { return native ? stringify(value) : value; };
        })(),
        handleOf: handleOf,
        write: write,
        read: read
    };
})
