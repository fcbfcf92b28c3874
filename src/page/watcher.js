// Watches a document for the browser: gives controls their handles, notes the controls that are
// added (in same-origin frames too) and reports them in batches, reports clicks on controls, and
// holds the page script (pagescript.js) once the browser installs it.
//
// It is installed before any script of the page runs, and nothing a page can write reaches it: the
// functions it relies on are taken now, before the page could replace them; what it knows of the
// page (handles, watched documents) lives in its own maps, never on the page's objects; and the one
// object the page can see is frozen and answers only to the token the browser gave it.
//
// A function of report(kind, data), the engine's way back to the browser, and of token:
//   report('appeared')                      controls were added since the last takePending()
//   report('clicked', [handle, trusted])    a click on a control, with event.isTrusted
// bootstrap.js makes it, with either engine.
// Kept to what the classic engine runs (ES5: no arrow functions, no let, no fetch, no Proxy).
(function (report, token) {
    var uncurry = Function.prototype.bind.bind(Function.prototype.call);
    function getter(object, name) {
        for (var o = object; o; o = Object.getPrototypeOf(o)) {
            var d = Object.getOwnPropertyDescriptor(o, name);
            if (d && d.get) return uncurry(d.get);
            if (d) break;
        }
        return function (x) { return x[name]; };
    }
    var sample = document.createElement('div');
    var frameSample = document.createElement('iframe');
    var labelSample = document.createElement('label');
    var tableSample = document.createElement('table');
    var cellSample = document.createElement('td');
    // The natives every script of the browser goes through, shared with the page script. Nodes are
    // read through them too: a form answers a property read with its control of that name first
    // (a control named parentNode is the form's parentNode), after a search of all its controls.
    var kit = Object.freeze({
        apply: uncurry(Function.prototype.apply),
        hasOwn: uncurry(Object.prototype.hasOwnProperty),
        push: uncurry(Array.prototype.push),
        join: uncurry(Array.prototype.join),
        test: uncurry(RegExp.prototype.test),
        exec: uncurry(RegExp.prototype.exec),
        replace: uncurry(String.prototype.replace),
        split: uncurry(String.prototype.split),
        stringify: JSON.stringify,
        isArray: Array.isArray,
        keys: Object.keys,
        max: Math.max,
        min: Math.min,
        parseFloat: parseFloat,
        WeakMap: WeakMap,
        mapGet: uncurry(WeakMap.prototype.get),
        mapSet: uncurry(WeakMap.prototype.set),
        mapHas: uncurry(WeakMap.prototype.has),
        computedStyle: uncurry(window.getComputedStyle),
        styleValue: uncurry(CSSStyleDeclaration.prototype.getPropertyValue),
        rect: uncurry(Element.prototype.getBoundingClientRect),
        getAttribute: uncurry(Element.prototype.getAttribute),
        hasAttribute: uncurry(Element.prototype.hasAttribute),
        elementsIn: uncurry(Element.prototype.querySelectorAll),
        firstIn: uncurry(Element.prototype.querySelector),
        documentQuery: uncurry(Document.prototype.querySelectorAll),
        byTag: uncurry(Document.prototype.getElementsByTagName),
        byId: uncurry(Document.prototype.getElementById),
        fromPoint: uncurry(Document.prototype.elementFromPoint),
        contains: uncurry(Node.prototype.contains),
        position: uncurry(Node.prototype.compareDocumentPosition),
        addListener: uncurry(EventTarget.prototype.addEventListener),
        parentNode: getter(sample, 'parentNode'),
        nodeType: getter(sample, 'nodeType'),
        ownerDocument: getter(sample, 'ownerDocument'),
        localName: getter(sample, 'localName'),
        namespaceURI: getter(sample, 'namespaceURI'),
        firstChild: getter(sample, 'firstChild'),
        nextSibling: getter(sample, 'nextSibling'),
        previousSibling: getter(sample, 'previousSibling'),
        firstElementChild: getter(sample, 'firstElementChild'),
        nextElementSibling: getter(sample, 'nextElementSibling'),
        previousElementSibling: getter(sample, 'previousElementSibling'),
        children: getter(sample, 'children'),
        className: getter(sample, 'className'),
        textContent: getter(sample, 'textContent'),
        innerText: getter(sample, 'innerText'),
        rows: getter(tableSample, 'rows'),
        colSpan: getter(cellSample, 'colSpan'),
        rowSpan: getter(cellSample, 'rowSpan'),
        defaultView: getter(document, 'defaultView'),
        documentElement: getter(document, 'documentElement'),
        body: getter(document, 'body'),
        contentDocument: getter(frameSample, 'contentDocument'),
        control: getter(labelSample, 'control'),
        isTrusted: function (event) { return event.isTrusted === true; }
    });
    sample = frameSample = labelSample = tableSample = cellSample = null;

    var XHTML = 'http://www.w3.org/1999/xhtml';
    var FIELD = /^(input|select|textarea)$/i;
    var CONTROLS = 'input,select,textarea,INPUT,SELECT,TEXTAREA';
    var controls = [];
    var handles = new kit.WeakMap();
    var watchedDocuments = new kit.WeakMap();
    var watchedFrames = new kit.WeakMap();
    var appeared = [];
    var flushPending = false;
    // The control the user is composing text in with an input method, if any.
    var composing = null;
    var api = null;
    var installAllowed = false;
    var setTimer = uncurry(window.setTimeout);
    var Observer = window.MutationObserver || window.WebKitMutationObserver;
    var observe = Observer ? uncurry(Observer.prototype.observe) : null;
    // How long additions gather before they are reported: a page that keeps changing its DOM costs
    // one report per interval, not one per change.
    var BATCH_MS = 100;

    // A form control of HTML, in an HTML or an XHTML document; an element of another language that
    // happens to be called input (in SVG, say) is none.
    function isControl(n) {
        return !!n && kit.nodeType(n) === 1 && kit.namespaceURI(n) === XHTML && kit.test(FIELD, kit.localName(n));
    }

    function handleOf(el) {
        var handle = kit.mapGet(handles, el);
        if (!handle) {
            handle = kit.push(controls, el);
            kit.mapSet(handles, el, handle);
        }
        return handle;
    }

    function windowOf(n) {
        var d = kit.ownerDocument(n) || n;
        return kit.defaultView(d) || window;
    }

    function flush() {
        flushPending = false;
        if (appeared.length) report('appeared');
    }

    function later() {
        if (appeared.length && !flushPending) {
            flushPending = true;
            setTimer(window, flush, BATCH_MS);
        }
    }

    function note(n) {
        if (isControl(n)) {
            kit.push(appeared, n);
        } else if (kit.nodeType(n) === 1 && kit.firstElementChild(n)) {
            var inner = kit.elementsIn(n, CONTROLS);
            for (var i = 0; i < inner.length; ++i) kit.push(appeared, inner[i]);
            var frames = kit.elementsIn(n, 'iframe,IFRAME,frame,FRAME');
            for (var j = 0; j < frames.length; ++j) watchFrame(frames[j]);
        }
        if (kit.test(/^i?frame$/i, kit.localName(n) || '')) watchFrame(n);
    }

    function observed(mutations) {
        for (var i = 0; i < mutations.length; ++i) {
            var added = mutations[i].addedNodes;
            for (var j = 0; j < added.length; ++j) {
                if (kit.nodeType(added[j]) === 1) note(added[j]);
            }
        }
        later();
    }

    function onClick(event) {
        if (isControl(event.target)) report('clicked', [handleOf(event.target), kit.isTrusted(event)]);
    }

    function onCompositionStart(event) {
        if (isControl(event.target)) composing = event.target;
    }

    function onCompositionEnd() {
        composing = null;
    }

    function watch(doc) {
        if (!doc || kit.mapHas(watchedDocuments, doc)) return;
        kit.mapSet(watchedDocuments, doc, true);
        kit.addListener(doc, 'click', onClick, true);
        kit.addListener(doc, 'compositionstart', onCompositionStart, true);
        kit.addListener(doc, 'compositionend', onCompositionEnd, true);
        if (Observer) observe(new Observer(observed), doc, { childList: true, subtree: true });
    }

    function contentOf(frame) {
        try { return kit.contentDocument(frame); } catch (x) {}
        return null;
    }

    // A frame's document is replaced whenever it loads: each new one is watched, and its controls
    // count as appeared.
    function watchFrame(frame) {
        if (kit.mapHas(watchedFrames, frame)) return;
        kit.mapSet(watchedFrames, frame, true);
        kit.addListener(frame, 'load', function () {
            var sub = contentOf(frame);
            var root = sub && kit.documentElement(sub);
            if (!root) return;
            watch(sub);
            note(root);
            later();
        }, false);
    }

    // This document and its same-origin frames, as they are now; later ones as they load.
    function watchTree(doc) {
        watch(doc);
        // Tag-name lists: cheaper than a selector query on a large page.
        var lists = [kit.byTag(doc, 'iframe'), kit.byTag(doc, 'frame')];
        for (var l = 0; l < lists.length; ++l) {
            for (var i = 0; i < lists[l].length; ++i) {
                var frame = lists[l][i], sub = contentOf(frame);
                watchFrame(frame);
                if (sub && kit.documentElement(sub)) watchTree(sub);
            }
        }
    }

    // The control at a point of the view (through its label, and into same-origin frames), or 0.
    function pressed(x, y) {
        var doc = document, el = null;
        for (var depth = 0; depth < 8; ++depth) {
            el = kit.fromPoint(doc, x, y);
            if (!el || !kit.test(/^i?frame$/i, kit.localName(el) || '')) break;
            var sub = contentOf(el);
            if (!sub) return 0;
            var box = kit.rect(el);
            x -= box.left + el.clientLeft;
            y -= box.top + el.clientTop;
            doc = sub;
        }
        for (var n = el; n && kit.nodeType(n) === 1; n = kit.parentNode(n)) {
            if (isControl(n)) return handleOf(n);
            if (kit.namespaceURI(n) === XHTML && kit.localName(n) === 'label') {
                var target = kit.control(n);
                return isControl(target) ? handleOf(target) : 0;
            }
        }
        return 0;
    }

    var watcher = {
        isControl: isControl,
        handleOf: handleOf,
        // The control of a handle, if it was ever given one.
        element: function (handle) { return controls[handle - 1] || null; },
        composing: function () { return composing; },
        // The controls noted as added since the last call.
        takePending: function () {
            var pending = appeared;
            appeared = [];
            return pending;
        }
    };

    var own = {
        // Starts watching: this document, its frames, and their clicks. withoutFrames: the caller
        // has just walked the document and found no frames in it, so they are not looked for again.
        start: function (withoutFrames) {
            if (withoutFrames === true) watch(document); else watchTree(document);
            return true;
        },
        // What was noted so far is no news (it was there at the load).
        forget: function () { appeared = []; return true; },
        allowInstall: function () { installAllowed = true; return true; },
        pressed: pressed
    };

    // Answers a value as JSON text that no prototype of the page can change: objects and arrays are
    // walked here, and only strings, numbers and booleans go to the engine's own serializer, which
    // asks no toJSON of them.
    function text(value) {
        if (value === null || value === undefined) return 'null';
        var type = typeof value;
        if (type === 'string' || type === 'number' || type === 'boolean') return kit.stringify(value);
        var parts = [];
        if (kit.isArray(value)) {
            for (var i = 0; i < value.length; ++i) kit.push(parts, text(value[i]));
            return '[' + kit.join(parts, ',') + ']';
        }
        var names = kit.keys(value);
        for (var k = 0; k < names.length; ++k) {
            kit.push(parts, kit.stringify(names[k]) + ':' + text(value[names[k]]));
        }
        return '{' + kit.join(parts, ',') + '}';
    }

    function invoke(t, name, args) {
        if (t !== token) return null;
        var target = kit.hasOwn(own, name) ? own : api;
        if (!target || !kit.hasOwn(target, name) || typeof target[name] !== 'function') return null;
        return kit.apply(target[name], target, args || []);
    }

    function install(factory, typing, settings) {
        if (!api) api = factory(typing, watcher, kit, settings || {});
        return true;
    }

    return Object.freeze({
        // Installs the page script, once: factory(typing, watcher, kit, settings).
        install: function (t, factory, typing, settings) {
            return t === token && install(factory, typing, settings);
        },
        // The same, right after the browser's call of allowInstall, without the token: a text that
        // is the same for every document, which the engine compiles once. Nothing of the page runs
        // between the two.
        installAllowed: function (factory, typing, settings) {
            if (!installAllowed) return false;
            installAllowed = false;
            return install(factory, typing, settings);
        },
        // Runs a function of the watcher or the page script: its answer as a value, or as JSON text.
        call: function (t, name, args) { return invoke(t, name, args); },
        text: function (t, name, args) { return t === token ? text(invoke(t, name, args)) : null; }
    });
})
