// Watches a document for the browser from its load on: gives controls their handles, notes the
// controls that are added (in same-origin frames too) and reports them in batches, and reports
// clicks on controls. Kept small, as it is installed with every page; the page script (pagescript.js)
// is installed only when the browser needs it. A function of report(kind, data), the engine's way
// back to the browser:
//   report('appeared')                      controls were added since the last takePending()
//   report('clicked', [handle, trusted])    a click on a control, with event.isTrusted
// Kept to what the classic engine runs (ES5: no arrow functions, no let, no fetch, no Proxy).
(function (report) {
    var CONTROLS = 'input,select,textarea,INPUT,SELECT,TEXTAREA';
    var FIELD = /^(INPUT|SELECT|TEXTAREA)$/;
    var controls = [];
    var appeared = [];
    var flushPending = false;
    // How long additions gather before they are reported: a page that keeps changing its DOM costs
    // one report per interval, not one per change.
    var BATCH_MS = 100;

    function isControl(n) {
        return n && n.nodeType === 1 && FIELD.test(n.tagName);
    }

    function handleOf(el) {
        if (!el.__kakikomiHandle) {
            controls.push(el);
            el.__kakikomiHandle = controls.length;
        }
        return el.__kakikomiHandle;
    }

    function windowOf(n) {
        var d = n.ownerDocument || n;
        return d.defaultView || window;
    }

    function flush() {
        flushPending = false;
        if (appeared.length) report('appeared');
    }

    function note(n) {
        if (isControl(n)) {
            appeared.push(n);
        } else if (n.nodeType === 1 && n.firstElementChild) {
            var inner = n.querySelectorAll(CONTROLS);
            for (var i = 0; i < inner.length; ++i) appeared.push(inner[i]);
            var frames = n.querySelectorAll('iframe,IFRAME');
            for (var j = 0; j < frames.length; ++j) watchFrame(frames[j]);
        }
        if (n.tagName === 'IFRAME') watchFrame(n);
    }

    function observed(mutations) {
        var before = appeared.length;
        for (var i = 0; i < mutations.length; ++i) {
            var added = mutations[i].addedNodes;
            for (var j = 0; j < added.length; ++j) {
                if (added[j].nodeType === 1) note(added[j]);
            }
        }
        if (appeared.length > before && !flushPending) {
            flushPending = true;
            setTimeout(flush, BATCH_MS);
        }
    }

    function onClick(event) {
        if (isControl(event.target)) report('clicked', [handleOf(event.target), event.isTrusted === true]);
    }

    function watch(doc) {
        if (!doc || doc.__kakikomiWatched) return;
        doc.__kakikomiWatched = true;
        doc.addEventListener('click', onClick, true);
        var Observer = windowOf(doc).MutationObserver || window.MutationObserver;
        if (Observer) new Observer(observed).observe(doc, { childList: true, subtree: true });
    }

    // A frame's document is replaced whenever it loads: each new one is watched, and its controls
    // count as appeared.
    function watchFrame(frame) {
        if (frame.__kakikomiWatched) return;
        frame.__kakikomiWatched = true;
        frame.addEventListener('load', function () {
            var sub = null;
            try { sub = frame.contentDocument; } catch (x) {}
            if (!sub || !sub.documentElement) return;
            watch(sub);
            note(sub.documentElement);
            observed([]);
            if (appeared.length && !flushPending) {
                flushPending = true;
                setTimeout(flush, BATCH_MS);
            }
        }, false);
    }

    // This document and its same-origin frames, as they are now; later ones as they load.
    function watchTree(doc) {
        watch(doc);
        // Tag-name lists: cheaper than a selector query on a large page.
        var lists = [doc.getElementsByTagName('iframe'), doc.getElementsByTagName('frame')];
        for (var l = 0; l < lists.length; ++l) {
            for (var i = 0; i < lists[l].length; ++i) {
                var frame = lists[l][i], sub = null;
                watchFrame(frame);
                try { sub = frame.contentDocument; } catch (x) {}
                if (sub && sub.documentElement) watchTree(sub);
            }
        }
    }

    watchTree(document);

    return {
        handleOf: handleOf,
        // The control of a handle, if it still exists anywhere.
        element: function (handle) { return controls[handle - 1] || null; },
        // The controls noted as added since the last call.
        takePending: function () {
            var pending = appeared;
            appeared = [];
            return pending;
        }
    };
})
