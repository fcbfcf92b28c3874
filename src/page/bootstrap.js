// Sets a document up for the browser, the same way with either engine: makes its watcher
// (watcher.js) and the way back to the browser, and answers the watcher's frozen object, which the
// engine puts where only the browser's scripts look for it.
//
// A function of
//   makeWatcher   the watcher's function (watcher.js), taken as it is
//   token         what every call of the browser must name
//   connect       connect(ready): makes the engine's way back and calls ready(host) once it is
//                 there, host.report(kind, data, token) being the way. Asked only when the document
//                 first has something to report: a document without controls never needs it.
//   settings      quietUntilLoad: what the document holds by its load is found by scans, not
//                 reported as appeared (the watcher starts before the load has finished);
//                 hideBanner: the cookie banner some sites fix over the foot of the page covers
//                 the fields under it, and the demo's has no working button: hidden at the load.
// Kept to what the classic engine runs (ES5: no arrow functions, no let, no fetch, no Proxy).
(function (makeWatcher, token, connect, settings) {
    settings = settings || {};
    var host = null, queued = [], connecting = false;
    var loaded = !settings.quietUntilLoad || document.readyState === 'complete';
    var push = Function.prototype.call.bind(Array.prototype.push);

    function deliver(kind, data) {
        host.report(kind, data === undefined ? null : data, token);
    }

    function connected(h) {
        host = h;
        deliver('ready', null);
        var waiting = queued;
        queued = [];
        for (var i = 0; i < waiting.length; ++i) deliver(waiting[i][0], waiting[i][1]);
    }

    // Makes the way back, once; a first try that got no answer may be repeated after a second.
    function open() {
        if (host) {
            deliver('ready', null);
            return;
        }
        if (connecting) return;
        connecting = true;
        connect(connected);
        if (!host && typeof setTimeout === 'function') setTimeout(function () { connecting = false; }, 1000);
    }

    function report(kind, data) {
        if (kind === 'appeared' && !loaded) return;
        if (host) {
            deliver(kind, data);
            return;
        }
        push(queued, [kind, data]);
        open();
    }

    var watcher = makeWatcher(report, token);

    function hideBanner() {
        var banners = document.querySelectorAll('[id="sliding-popup"]');
        for (var i = 0; i < banners.length; ++i) {
            if (banners[i].tagName === 'DIV') banners[i].setAttribute('style', 'display: none;');
        }
    }

    function atLoad() {
        loaded = true;
        // What was noted while the document loaded is there at its load: no news.
        watcher.call(token, 'forget');
        if (settings.hideBanner) hideBanner();
    }

    if (document.readyState === 'complete') {
        if (settings.hideBanner) hideBanner();
    } else if (settings.quietUntilLoad || settings.hideBanner) {
        window.addEventListener('load', atLoad, false);
    }

    return Object.freeze({
        install: watcher.install,
        installAllowed: watcher.installAllowed,
        call: watcher.call,
        text: watcher.text,
        // Announces the document to the browser: makes the way back, or says 'ready' again.
        announce: function (t) {
            if (t === token) open();
        }
    });
})
