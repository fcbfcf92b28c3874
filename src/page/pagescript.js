// The browser's script in a page: finds the form controls of the main frame and of its same-origin
// frames, describes them for recognition and writes into them the way typing does. Installed once
// per document, when first needed, as a function of the typing function (typing.js), of the
// document's watcher (watcher.js), which holds the controls' handles and what appeared, of the
// natives the watcher took before the page could replace them (kit), and of settings:
// { generateIds: true } where no classic bridge gives controls without an id or a name their
// identifiers ("unknown1", … in document order, kept by the script, not written into the page).
// What it works out about the page's elements stays in its own maps: nothing is written onto them.
// Kept to what the classic engine runs (ES5: no arrow functions, no let, no fetch, no Proxy).
(function (type, watcher, kit, settings) {
    settings = settings || {};
    var generated = 0;
    var generatedIds = new kit.WeakMap();
    var CONTROLS = 'input,select,textarea,INPUT,SELECT,TEXTAREA';
    var BOUNDARY = /^(FORM|BODY|TABLE|FIELDSET|HTML)$/;
    var XHTML = 'http://www.w3.org/1999/xhtml';
    var handleOf = watcher.handleOf;
    var isControl = watcher.isControl;
    // Below these a control does not count as seen: a box of a few pixels, or nearly transparent.
    var MIN_SIZE = 5;
    var MIN_OPACITY = 0.1;

    // An element's tag name in capitals, for HTML elements of HTML and XHTML documents alike; empty
    // for text and for elements of other languages.
    function tagOf(n) {
        if (!n || kit.nodeType(n) !== 1 || kit.namespaceURI(n) !== XHTML) return '';
        return String(kit.localName(n)).toUpperCase();
    }

    function parentElement(n) {
        var p = kit.parentNode(n);
        return p && kit.nodeType(p) === 1 ? p : null;
    }

    function clean(text) {
        return String(text || '').replace(/\s+/g, ' ').replace(/^ | $/g, '').slice(0, 80);
    }

    // Text is read up to a bound. A label, a row heading or a title is short, and of anything longer
    // only the beginning counts (clean keeps 80 characters): a page with a book's worth of text
    // around its controls costs no more to scan than one without. Reads are kept for the scan, since
    // controls share their rows and titles.
    var TEXT_BUDGET = 400;
    var NODE_BUDGET = 150;
    var BLOCK = /^(ADDRESS|ARTICLE|ASIDE|BLOCKQUOTE|BR|CAPTION|DD|DIV|DL|DT|FIELDSET|FIGCAPTION|FIGURE|FOOTER|FORM|H[1-6]|HEADER|HR|LEGEND|LI|MAIN|NAV|OL|P|PRE|SECTION|TABLE|TBODY|TD|TFOOT|TH|THEAD|TR|UL)$/;
    var SILENT = /^(SCRIPT|STYLE|NOSCRIPT|TEMPLATE|TITLE)$/;
    var renderedTexts = null, plainTexts = null;

    // The next node of a walk of root's descendants in document order; into child's children unless
    // skip. onLeave(element) for each element the walk climbs out of.
    function nextNode(node, root, skip, onLeave) {
        var next = skip ? null : kit.firstChild(node);
        if (next) return next;
        while (node !== root && !(next = kit.nextSibling(node))) {
            node = kit.parentNode(node);
            if (!node) return null;
            if (onLeave && node !== root) onLeave(node);
        }
        return node === root ? null : next;
    }

    // Whether root holds more than the budgets allow; counted without reading any text.
    function exceedsBudget(root) {
        var chars = 0, nodes = 0;
        for (var n = kit.firstChild(root); n; n = nextNode(n, root, false, null)) {
            if (++nodes > NODE_BUDGET) return true;
            if (kit.nodeType(n) === 3 && (chars += n.length) > TEXT_BUDGET) return true;
        }
        return false;
    }

    function dataOf(n) {
        return n.length > TEXT_BUDGET ? n.substringData(0, TEXT_BUDGET) : n.data;
    }

    // The beginning of root's text, read node by node until the budget is spent: as innerText has
    // it (without what is not rendered, blocks apart) when rendered, else as textContent.
    function beginningOf(root, rendered) {
        var parts = [], chars = 0, nodes = 0;
        function apart(e) {
            if (BLOCK.test(tagOf(e))) kit.push(parts, ' ');
        }
        var n = kit.firstChild(root);
        while (n && nodes++ < NODE_BUDGET && chars < TEXT_BUDGET) {
            var skip = false, type = kit.nodeType(n);
            if (type === 3) {
                var piece = dataOf(n);
                kit.push(parts, piece);
                chars += piece.length;
            } else if (type === 1 && rendered) {
                var tag = tagOf(n), s = null;
                skip = SILENT.test(tag) || kit.hasAttribute(n, 'hidden')
                    || (!!kit.firstChild(n) && !!(s = styleOf(n)) && styleValue(s, 'display') === 'none');
                if (!skip) apart(n);
            }
            n = nextNode(n, root, skip, rendered ? apart : null);
        }
        return kit.join(parts, '');
    }

    function boundedText(n, rendered) {
        var cache = rendered ? renderedTexts : plainTexts;
        var known = cache ? kit.mapGet(cache, n) : undefined;
        if (known !== undefined) return known;
        var text;
        if (exceedsBudget(n)) {
            text = beginningOf(n, rendered);
        } else {
            var t;
            // Only HTML elements render text as innerText has it.
            if (rendered) try { t = kit.innerText(n); } catch (x) {}
            text = typeof t === 'string' ? t : kit.textContent(n);
        }
        if (cache) kit.mapSet(cache, n, text);
        return text;
    }

    function textOf(n) {
        return boundedText(n, true);
    }

    function windowOf(n) {
        var d = kit.ownerDocument(n) || n;
        return kit.defaultView(d) || window;
    }

    function styleOf(n) {
        try { return kit.computedStyle(windowOf(n), n); } catch (x) {}
        return null;
    }

    function styleValue(style, name) {
        return style ? String(kit.styleValue(style, name) || '') : '';
    }

    function contentOf(frame) {
        try { return kit.contentDocument(frame); } catch (x) {}
        return null;
    }

    // The documents to work in: this one, then its same-origin frames, depth first. A frame of
    // another origin has no contentDocument for us and is left alone.
    function documents() {
        var found = [];
        function add(doc, path, frameElement) {
            kit.push(found, { doc: doc, path: path, frame: frameElement });
            var frames = kit.documentQuery(doc, 'iframe,frame,IFRAME,FRAME');
            for (var i = 0; i < frames.length; ++i) {
                var sub = contentOf(frames[i]);
                if (sub && kit.documentElement(sub)) {
                    var key = kit.getAttribute(frames[i], 'id') || kit.getAttribute(frames[i], 'name') || ('#' + i);
                    add(sub, path ? path + '/' + key : key, frames[i]);
                }
            }
        }
        add(document, '', null);
        return found;
    }

    function holdsControls(n) {
        return isControl(n) || !!kit.firstIn(n, 'input,select,textarea');
    }

    function enclosingLabel(el) {
        for (var up = parentElement(el); up && !BOUNDARY.test(tagOf(up)); up = parentElement(up)) {
            if (tagOf(up) === 'LABEL') {
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
        for (var up = parentElement(el); up && !BOUNDARY.test(tagOf(up)) && depth < 4;
             up = parentElement(up), ++depth) {
            var before = kit.previousElementSibling(up);
            var cell = tagOf(up) === 'TD' || tagOf(up) === 'DD';
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
        for (var n = kit.previousSibling(el); n; n = kit.previousSibling(n)) {
            var type = kit.nodeType(n);
            if (type === 3) {
                t = dataOf(n) + t;
                if (/\S/.test(t)) break;
                continue;
            }
            if (type === 1 && tagOf(n) === 'BR') brokenLine = true;
            if (type !== 1 || tagOf(n) === 'BR') continue;
            if (holdsControls(n)) break;
            if (brokenLine && noteOfControl(n)) break;
            t = boundedText(n, false) + t;
            break;
        }
        return clean(t);
    }

    // Whether an element sits right after a control on its line: the note under that control
    // (<input><br><span>市区町村名</span><br><input>), not the label of the next one.
    function noteOfControl(n) {
        for (var p = kit.previousSibling(n); p; p = kit.previousSibling(p)) {
            var type = kit.nodeType(p);
            if (type === 3 && !/\S/.test(dataOf(p))) continue;
            if (type === 1 && tagOf(p) === 'BR') continue;
            return type === 1 && holdsControls(p);
        }
        return false;
    }

    // The text right after the control within its parent, up to the next control: notes such as
    // ハイフン不要 or an example.
    function textAfter(el) {
        var t = '';
        for (var n = kit.nextSibling(el); n && t.length < 80; n = kit.nextSibling(n)) {
            var type = kit.nodeType(n);
            if (type === 3) {
                t += dataOf(n);
                continue;
            }
            if (type !== 1 || tagOf(n) === 'BR') continue;
            if (holdsControls(n)) break;
            t += boundedText(n, false);
        }
        return clean(t);
    }

    function labelledBy(el, doc) {
        var ids = (kit.getAttribute(el, 'aria-labelledby') || '').split(/\s+/), texts = [];
        for (var i = 0; i < ids.length; ++i) {
            var target = ids[i] ? kit.byId(doc, ids[i]) : null;
            if (target) kit.push(texts, textOf(target));
        }
        return clean(texts.join(' '));
    }

    function isDisabled(el) {
        try { return el.matches(':disabled'); } catch (x) {}
        try { return el.webkitMatchesSelector(':disabled'); } catch (x) {}
        return !!el.disabled;
    }

    function number(text, fallback) {
        var n = kit.parseFloat(text);
        return n === n ? n : fallback;
    }

    // Whether clip or clip-path cuts the element away to nothing (or to a sliver).
    function clippedAway(style, n) {
        var m = kit.exec(/rect\(\s*([-\d.]+)px[ ,]+([-\d.]+)px[ ,]+([-\d.]+)px[ ,]+([-\d.]+)px/, styleValue(style, 'clip'));
        if (m && (number(m[3], 0) - number(m[1], 0) < MIN_SIZE || number(m[2], 0) - number(m[4], 0) < MIN_SIZE)) {
            return true;
        }
        var path = styleValue(style, 'clip-path');
        if (!path || path === 'none') path = styleValue(style, '-webkit-clip-path');
        if (!path || path === 'none') return false;
        var shape = kit.exec(/^\s*(inset|circle|ellipse|polygon)\(([^)]*)\)/, path);
        if (!shape) return false;
        var args = shape[2];
        if (shape[1] === 'inset') {
            var box = kit.rect(n), width = box.width, height = box.height;
            var sides = kit.split(kit.replace(args, /\s+round.*$/, ''), /\s+/);
            var top = sides[0], right = sides[1] || top, bottom = sides[2] || top, left = sides[3] || right;
            function size(v, whole) { return /%$/.test(v) ? number(v, 0) * whole / 100 : number(v, 0); }
            return width - size(left, width) - size(right, width) < MIN_SIZE
                || height - size(top, height) - size(bottom, height) < MIN_SIZE;
        }
        if (shape[1] === 'circle' || shape[1] === 'ellipse') {
            return kit.test(/^\s*0(px|%)?(\s|$)/, args);
        }
        // A polygon whose points all lie on one line or one point has no area.
        var points = kit.split(args, ','), xs = {}, ys = {}, nx = 0, ny = 0;
        for (var i = 0; i < points.length; ++i) {
            var p = kit.split(kit.replace(points[i], /^\s+|\s+$/g, ''), /\s+/);
            if (p.length < 2) continue;
            if (!kit.hasOwn(xs, p[p.length - 2])) { xs[p[p.length - 2]] = true; ++nx; }
            if (!kit.hasOwn(ys, p[p.length - 1])) { ys[p[p.length - 1]] = true; ++ny; }
        }
        return nx < 2 || ny < 2;
    }

    // What an element passes on to everything inside it, worked out once a scan for each element
    // (controls share their ancestors): whether it hides them, the opacity they are drawn with, the
    // legend of the nearest fieldset, and the boxes of the ancestors that clip what overflows them,
    // as [left, top, right, bottom] with null for a side they do not clip, outermost first.
    var memo = null;
    function inherited(n) {
        var known = kit.mapGet(memo, n);
        if (known) return known;
        var parent = parentElement(n);
        var up = parent ? inherited(parent) : null;
        var doc = kit.ownerDocument(n), s = styleOf(n);
        var tag = tagOf(n);
        var info = {
            hides: (up && up.hides) || !s || styleValue(s, 'display') === 'none'
                || (tag !== '' && kit.hasAttribute(n, 'hidden')) || clippedAway(s, n),
            opacity: (up ? up.opacity : 1) * (s ? number(styleValue(s, 'opacity'), 1) : 1),
            legend: up ? up.legend : '',
            clips: up ? up.clips : []
        };
        if (tag === 'FIELDSET') {
            info.legend = '';
            for (var c = kit.firstElementChild(n); c; c = kit.nextElementSibling(c)) {
                if (tagOf(c) === 'LEGEND') { info.legend = clean(textOf(c)); break; }
            }
        }
        // The root's overflow, and the body's where the root's is visible, is the page's own: it
        // decides whether the page scrolls (pageOf). The body clips like any box otherwise.
        var root = kit.documentElement(doc);
        var ownOverflow = s && n !== root
            && (n !== kit.body(doc) || overflowOf(styleOf(root), 'x') !== 'visible'
                || overflowOf(styleOf(root), 'y') !== 'visible');
        if (ownOverflow) {
            var x = kit.test(/hidden|clip/, overflowOf(s, 'x')), y = kit.test(/hidden|clip/, overflowOf(s, 'y'));
            if (x || y) {
                var r = kit.rect(n);
                info.clips = info.clips.concat([[x ? r.left : null, y ? r.top : null, x ? r.right : null, y ? r.bottom : null]]);
            }
        }
        kit.mapSet(memo, n, info);
        return info;
    }

    function overflowOf(style, axis) {
        return styleValue(style, 'overflow-' + axis) || styleValue(style, 'overflow') || 'visible';
    }

    function legendOf(el) {
        var parent = parentElement(el);
        return parent ? inherited(parent).legend : '';
    }

    // Something else drawn over the middle of the element: neither its label nor what it holds, nor
    // a bar fixed to the window that the page scrolls under. Only what the window shows can be
    // asked; below the fold an element counts as not covered.
    function covered(el, x, y, page) {
        if (x < 0 || y < 0 || x >= page.viewWidth || y >= page.viewHeight) return false;
        var top = kit.fromPoint(kit.ownerDocument(el), x, y);
        if (!top || top === el || kit.contains(el, top) || kit.contains(top, el)) return false;
        for (var n = top; n; n = parentElement(n)) {
            if (tagOf(n) === 'LABEL' && kit.control(n) === el) return false;
            if (kit.contains(n, el)) break;
            var s = styleOf(n);
            if (!s) continue;
            var position = styleValue(s, 'position');
            if (position === 'fixed' || position === 'sticky') return false;
        }
        if (inherited(top).opacity < 0.5) return false;
        for (var m = top; m && !kit.contains(m, el); m = parentElement(m)) {
            var style = styleOf(m);
            if (!style) continue;
            if (kit.test(/^(IMG|VIDEO|CANVAS|IFRAME|OBJECT|EMBED|INPUT|SELECT|TEXTAREA|BUTTON)$/, tagOf(m))) return true;
            if (styleValue(style, 'background-image') !== 'none' && styleValue(style, 'background-image') !== '') return true;
            var color = kit.exec(/rgba?\(([^)]*)\)/, styleValue(style, 'background-color'));
            if (color) {
                var parts = kit.split(color[1], ',');
                if (parts.length < 4 || number(parts[3], 1) > 0.5) return true;
            }
        }
        return false;
    }

    // Whether the user can see the element in its own document: rendered, not transparent, with a
    // box of a few pixels each way inside every ancestor that clips what overflows it and inside the
    // part of the page scrolling reaches, and not covered by something else.
    function seen(el, page) {
        var style = styleOf(el);
        var visibility = styleValue(style, 'visibility');
        if (!style || visibility === 'hidden' || visibility === 'collapse') return false;
        var info = inherited(el);
        if (info.hides || info.opacity < MIN_OPACITY) return false;
        var r = kit.rect(el);
        var left = r.left, top = r.top, right = r.right, bottom = r.bottom;
        var clips = info.clips;
        for (var i = 0; i < clips.length; ++i) {
            var c = clips[i];
            if (c[0] !== null) { left = kit.max(left, c[0]); right = kit.min(right, c[2]); }
            if (c[1] !== null) { top = kit.max(top, c[1]); bottom = kit.min(bottom, c[3]); }
        }
        left = kit.max(left, page.left);
        right = kit.min(right, page.right);
        top = kit.max(top, page.top);
        bottom = kit.min(bottom, page.bottom);
        if (right - left < MIN_SIZE || bottom - top < MIN_SIZE) return false;
        return !covered(el, (left + right) / 2, (top + bottom) / 2, page);
    }

    // The part of a document scrolling can bring into its window, in the window's coordinates, once
    // a scan for each document: the whole page, or only the window on an axis where the page's
    // overflow is hidden.
    function pageOf(doc) {
        var w = kit.defaultView(doc) || window, root = kit.documentElement(doc), body = kit.body(doc);
        var x = w.pageXOffset || 0, y = w.pageYOffset || 0;
        var rootStyle = styleOf(root), bodyStyle = body ? styleOf(body) : null;
        function fixed(axis) {
            var overflow = overflowOf(rootStyle, axis);
            if (overflow === 'visible' && bodyStyle) overflow = overflowOf(bodyStyle, axis);
            return kit.test(/hidden|clip/, overflow);
        }
        var viewWidth = root.clientWidth || w.innerWidth || 0, viewHeight = root.clientHeight || w.innerHeight || 0;
        var width = kit.max(root.scrollWidth, body ? body.scrollWidth : 0, viewWidth);
        var height = kit.max(root.scrollHeight, body ? body.scrollHeight : 0, viewHeight);
        return {
            viewWidth: viewWidth,
            viewHeight: viewHeight,
            left: fixed('x') ? 0 : -x,
            right: fixed('x') ? viewWidth : width - x,
            top: fixed('y') ? 0 : -y,
            bottom: fixed('y') ? viewHeight : height - y
        };
    }

    function options(el) {
        var found = [];
        var list = el.getElementsByTagName('option');
        for (var i = 0; i < list.length; ++i) {
            var text = clean(boundedText(list[i], false));
            kit.push(found, [text, kit.hasAttribute(list[i], 'value') ? kit.getAttribute(list[i], 'value') : text]);
        }
        return found;
    }

    function effectiveIdentifier(el) {
        var id = kit.getAttribute(el, 'id') || '', name = kit.getAttribute(el, 'name') || '';
        if (kit.replace(id, /\s/g, '')) return id;
        if (kit.replace(name, /\s/g, '')) return name;
        if (!settings.generateIds || tagOf(el) !== 'INPUT') return '';
        var made = kit.mapGet(generatedIds, el);
        if (!made) {
            made = 'unknown' + (++generated);
            kit.mapSet(generatedIds, el, made);
        }
        return made;
    }

    // Which control answers to each identifier when rules are applied: the last one in document order
    // registered under it, as its identifier or (inputs) its name; selects and text areas apart.
    function owners(doc) {
        var table = { INPUT: Object.create(null), SELECT: Object.create(null), TEXTAREA: Object.create(null) };
        var all = kit.documentQuery(doc, CONTROLS);
        for (var i = 0; i < all.length; ++i) {
            var el = all[i];
            if (!isControl(el)) continue;
            var tag = tagOf(el), kind = table[tag], own = effectiveIdentifier(el);
            if (own) kind['=' + own] = el;
            var name = kit.getAttribute(el, 'name') || '';
            if (name && (tag === 'INPUT' || kit.replace(name, /\s/g, ''))) kind['=' + name] = el;
        }
        return table;
    }

    // The form's place among its document's forms, counted once a scan.
    function formKey(el, entry, context) {
        var form = el.form;
        if (!form) return '';
        if (!context.forms) {
            context.forms = new kit.WeakMap();
            var forms = entry.doc.forms;
            for (var i = 0; i < forms.length; ++i) {
                if (!kit.mapHas(context.forms, forms[i])) kit.mapSet(context.forms, forms[i], i);
            }
        }
        var index = kit.mapGet(context.forms, form);
        return entry.path + ':' + (index === undefined ? '?' : index);
    }

    // ---- Sections: the page's own grouping of its controls, for telling whose each part is. ----

    // A short text that titles a block: a heading, a legend, a caption, an element styled as a
    // heading or a bold line alone.
    function titleLike(e) {
        if (!e || kit.nodeType(e) !== 1 || holdsControls(e)) return false;
        var text = clean(textOf(e));
        if (!text || text.length > 40) return false;
        if (/^(H[1-6]|LEGEND|CAPTION|STRONG|B)$/.test(tagOf(e))) return true;
        if (/(head|title|ttl|hdr|caption)|[-_](h|hd|cap)(\s|$)/i.test(String(kit.className(e) || ''))) return true;
        var children = kit.children(e);
        var only = children && children.length === 1 ? children[0] : null;
        return !!only && /^(STRONG|B|H[1-6])$/.test(tagOf(only)) && /^(P|DIV|SPAN|DT)$/.test(tagOf(e));
    }

    // The title of a container of controls, if it has one: its legend or caption, its first child
    // when that is a title, or the title right before it.
    function blockTitleOf(n) {
        if (tagOf(n) === 'FIELDSET' || tagOf(n) === 'TABLE') {
            for (var c = kit.firstElementChild(n); c; c = kit.nextElementSibling(c)) {
                if (tagOf(c) === 'LEGEND' || tagOf(c) === 'CAPTION') return clean(textOf(c));
            }
        }
        if (tagOf(n) === 'FORM' || tagOf(n) === 'TR' || tagOf(n) === 'TD' || tagOf(n) === 'LABEL') return '';
        var first = kit.firstElementChild(n), before = kit.previousElementSibling(n);
        if (titleLike(first)) return clean(textOf(first));
        if (titleLike(before)) return clean(textOf(before));
        return '';
    }

    // What a scan works out once for an element its controls share (a container, a table, a row
    // group): make(n) the first time, kept in map for the others.
    function keptFor(map, n, make) {
        var known = kit.mapGet(map, n);
        if (known === undefined) {
            known = make(n);
            kit.mapSet(map, n, known);
        }
        return known;
    }

    // The titled containers around the control, outermost first: [key, title] pairs, the key telling
    // one container from another within a scan. Controls share their containers: each is looked at
    // once a scan.
    function blocksOf(el, context) {
        var found = [];
        // Up to the form: what titles the form itself is the page's, not a part's.
        for (var up = parentElement(el); up && tagOf(up) !== 'BODY' && tagOf(up) !== 'FORM'; up = parentElement(up)) {
            var block = keptFor(context.blocks, up, function (n) {
                var title = holdsControls(n) ? blockTitleOf(n) : '';
                return title ? [String(context.blockCount++), title] : null;
            });
            if (block) found.unshift(block);
        }
        return found;
    }

    // The columns (or rows) a cell spans; 1 for anything else a script put into a row.
    function spanOf(cell, rows) {
        try { return (rows ? kit.rowSpan(cell) : kit.colSpan(cell)) || 1; } catch (x) {}
        return 1;
    }

    function cellOf(el) {
        for (var up = parentElement(el); up && tagOf(up) !== 'TABLE'; up = parentElement(up)) {
            if (tagOf(up) === 'TD' || tagOf(up) === 'TH') return up;
        }
        return null;
    }

    // The header of the control's table column, when the table's first row heads its columns
    // (本人 | 配偶者).
    function columnOf(el, context) {
        var cell = cellOf(el), row = cell && parentElement(cell);
        var table = row && parentElement(row) && parentElement(parentElement(row));
        if (!table || tagOf(table) !== 'TABLE') return '';
        var info = keptFor(context.tables, table, function () {
            var rows = kit.rows(table), head = rows && rows.length ? rows[0] : null;
            return { head: head && !holdsControls(head) ? head : null };
        });
        var head = info.head;
        if (!head || head === row) return '';
        var column = 0;
        for (var c = kit.firstElementChild(row); c && c !== cell; c = kit.nextElementSibling(c)) column += spanOf(c, false);
        for (var h = kit.firstElementChild(head), at = 0; h; h = kit.nextElementSibling(h)) {
            if (at === column) return clean(textOf(h));
            at += spanOf(h, false);
            if (at > column) return '';
        }
        return '';
    }

    // The text of a <th rowspan> that spans the control's row from a row above or its own, else of
    // the nearest caption row above it (one cell across the table, no controls).
    function rowGroupOf(el, context) {
        var cell = cellOf(el), row = cell && parentElement(cell), group = row && parentElement(row);
        var rows = group && kit.children(group);
        if (!rows) return '';
        // Each row's place, and the nearest caption row before each, in one walk of the group.
        var info = keptFor(context.tables, group, function () {
            var places = new kit.WeakMap(), captionBefore = [], caption = null;
            for (var i = 0; i < rows.length; ++i) {
                kit.mapSet(places, rows[i], i);
                kit.push(captionBefore, caption);
                var cells = kit.children(rows[i]);
                var only = cells.length === 1 ? cells[0] : null;
                if (only && spanOf(only, false) > 1 && !holdsControls(only)) caption = only;
            }
            return { rows: rows, places: places, captionBefore: captionBefore };
        });
        var index = kit.mapGet(info.places, row);
        if (index === undefined) return '';
        for (var d = 0; d <= index && d < 20; ++d) {
            var r = info.rows[index - d];
            for (var c = kit.firstElementChild(r); c && c !== cell; c = kit.nextElementSibling(c)) {
                if (spanOf(c, true) > kit.max(d, 1) && !holdsControls(c)) return clean(textOf(c));
            }
        }
        var before = info.captionBefore[index];
        return before ? clean(textOf(before)) : '';
    }

    function describe(el, entry, context) {
        var doc = entry.doc;
        var tag = tagOf(el);
        var id = kit.getAttribute(el, 'id') || '';
        var name = kit.getAttribute(el, 'name') || '';
        var own = effectiveIdentifier(el);
        var identifier = own && entry.path ? entry.path + '/' + own : own;
        var label = id ? (context.labels['=' + id] || '') : '';
        if (!label) label = enclosingLabel(el);
        var max = parseInt(kit.getAttribute(el, 'maxlength'), 10);
        var select = tag === 'SELECT';
        while (context.heading + 1 < context.headings.length
               && (kit.position(context.headings[context.heading + 1], el) & 4)) {
            ++context.heading;
        }
        var heading = context.heading >= 0 ? context.headings[context.heading] : null;
        var owners = context.owners[tag];
        return {
            handle: handleOf(el),
            frame: entry.path,
            identifier: identifier,
            owns: !!own && owners['=' + own] === el,
            ownsName: tag !== 'TEXTAREA' && name !== '' && owners['=' + name] === el,
            form: formKey(el, entry, context),
            tag: tag,
            type: select ? '' : (kit.getAttribute(el, 'type') || ''),
            htmlType: String(el.type || '').toLowerCase(),
            name: name,
            id: id,
            autocomplete: kit.getAttribute(el, 'autocomplete') || '',
            label: label,
            labelledBy: labelledBy(el, doc),
            title: kit.getAttribute(el, 'title') || '',
            textBefore: textBefore(el),
            textAfter: textAfter(el),
            rowLabel: rowLabel(el),
            legend: legendOf(el),
            heading: heading && !kit.contains(heading, el) ? clean(textOf(heading)) : '',
            placeholder: kit.getAttribute(el, 'placeholder') || '',
            ariaLabel: kit.getAttribute(el, 'aria-label') || '',
            maxLength: isNaN(max) || max < 0 ? -1 : max,
            pattern: kit.getAttribute(el, 'pattern') || '',
            inputMode: kit.getAttribute(el, 'inputmode') || '',
            value: select ? '' : String(el.value),
            readOnly: kit.hasAttribute(el, 'readonly'),
            disabled: kit.hasAttribute(el, 'disabled') || isDisabled(el),
            visible: context.frameSeen && seen(el, context.page),
            options: select ? options(el) : [],
            selectedIndex: select ? el.selectedIndex : -1,
            checked: !!el.checked,
            blocks: blocksOf(el, context),
            headingOutside: !!heading && !kit.contains(heading, el) && !!el.form && !kit.contains(el.form, heading),
            column: columnOf(el, context),
            rowGroup: rowGroupOf(el, context)
        };
    }

    function contextFor(entry) {
        var labels = Object.create(null);
        var list = kit.documentQuery(entry.doc, 'label[for],LABEL[for]');
        for (var i = 0; i < list.length; ++i) {
            var key = '=' + kit.getAttribute(list[i], 'for');
            if (!(key in labels)) labels[key] = clean(textOf(list[i]));
        }
        var frameSeen = true;
        for (var f = entry.frame; f && frameSeen; f = windowOf(f).frameElement) {
            frameSeen = seen(f, pageOf(kit.ownerDocument(f)));
        }
        return {
            labels: labels,
            owners: owners(entry.doc),
            headings: kit.documentQuery(entry.doc, 'h1,h2,h3,h4,h5,h6,H1,H2,H3,H4,H5,H6'),
            heading: -1,
            blocks: new kit.WeakMap(),
            blockCount: 0,
            tables: new kit.WeakMap(),
            forms: null,
            frameSeen: frameSeen,
            page: pageOf(entry.doc)
        };
    }

    // Describes the controls that pass only (all when it is null) in document order; from the
    // same-origin frames alone when framesOnly.
    function scan(only, framesOnly) {
        memo = new kit.WeakMap();
        renderedTexts = new kit.WeakMap();
        plainTexts = new kit.WeakMap();
        var records = [];
        var docs = documents();
        for (var d = framesOnly ? 1 : 0; d < docs.length; ++d) {
            var entry = docs[d];
            var all = kit.documentQuery(entry.doc, CONTROLS);
            var context = null;
            for (var i = 0; i < all.length; ++i) {
                if (!isControl(all[i]) || (only && !only(all[i]))) continue;
                context = context || contextFor(entry);
                kit.push(records, describe(all[i], entry, context));
            }
        }
        memo = renderedTexts = plainTexts = null;
        return records;
    }

    function stateOf(el, found, written) {
        var select = tagOf(el) === 'SELECT';
        return [found, written, el && !select ? String(el.value) : (select ? String(el.value) : ''),
                select ? el.selectedIndex : -1, !!(el && el.checked)];
    }

    function live(handle) {
        var el = watcher.element(handle);
        var doc = el && kit.ownerDocument(el), root = doc && kit.documentElement(doc);
        return root && kit.contains(root, el) ? el : null;
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

    // writes: [[handle, text, how, unasked]], how 0 replace, 1 at the selection, 2 if empty, 3 if
    // unchosen, 4 check, 5 uncheck (the text is not used by the last two); an unasked write leaves
    // the control the user is composing in alone.
    function write(writes) {
        var states = [];
        for (var i = 0; i < writes.length; ++i) {
            var el = live(writes[i][0]), text = writes[i][1], how = writes[i][2], written = true;
            if (!el) {
                kit.push(states, [false, false, '', -1, false]);
                continue;
            }
            if (writes[i][3] && el === watcher.composing()) {
                written = false;
            } else if (how === 4) {
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
            var state = stateOf(el, true, written);
            // The page may answer a write by rendering its form again without this control.
            if (!live(writes[i][0])) kit.push(state, true);
            kit.push(states, state);
        }
        return states;
    }

    function read(handles) {
        var states = [];
        for (var i = 0; i < handles.length; ++i) {
            var el = live(handles[i]);
            kit.push(states, el ? stateOf(el, true, false) : [false, false, '', -1, false]);
        }
        return states;
    }

    // The options of each select as they are now; none where the handle reaches no select.
    function optionsOf(handles) {
        var lists = [];
        for (var i = 0; i < handles.length; ++i) {
            var el = live(handles[i]);
            kit.push(lists, el && tagOf(el) === 'SELECT' ? options(el) : []);
        }
        return lists;
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
            var wanted = new kit.WeakMap();
            for (var i = 0; i < pending.length; ++i) {
                if (live(handleOf(pending[i]))) kit.mapSet(wanted, pending[i], true);
            }
            return scan(function (el) {
                if (!kit.mapGet(wanted, el)) return false;
                // Noted twice (added, moved, added again): described once.
                kit.mapSet(wanted, el, false);
                return true;
            });
        },
        describe: function (handles) {
            var wanted = new kit.WeakMap();
            for (var i = 0; i < handles.length; ++i) {
                var el = watcher.element(handles[i]);
                if (el) kit.mapSet(wanted, el, true);
            }
            return scan(function (el) { return kit.mapHas(wanted, el); });
        },
        write: write,
        read: read,
        options: optionsOf
    };
})
