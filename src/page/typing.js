// Writes into a form control the way typing does. Pages built on frameworks keep their own state
// and update it only from events, so around the write the control gets, in this order: focus,
// keydown, the value, input, keyup, change, blur (all bubbling; compositionend first when it has the
// focus, so that a page waiting for an open composition to end takes the input). The value goes
// through the native setter of the element's prototype, past any setter a framework put on the
// element itself. Every step is guarded on its own: a page may have replaced or broken any of the
// objects used here, and what it broke must not stop the other steps.
//
// f the control, t the text, how one of:
//   0 the whole value becomes t;        1 t replaces the selection or goes in at the caret;
//   2 as 0 on an empty control only, answering [typed, value afterwards];
//   3 the events before a write only;   4 the events after a write only;   5 the write only.
// Kept to what the classic engine runs (ES5).
(function (f, t, how) {
    var d = f.ownerDocument, w = (d && d.defaultView) || window;
    var E = typeof w.Event == 'function' ? w.Event : null,
        F = typeof w.FocusEvent == 'function' ? w.FocusEvent : E,
        K = typeof w.KeyboardEvent == 'function' ? w.KeyboardEvent : E;
    function e(y, C, c) {
        var v = null;
        if (C) try { v = new C(y, { bubbles: true, cancelable: c, data: '' }); } catch (x) {}
        if (!v) try { v = d.createEvent('Event'); v.initEvent(y, true, c); } catch (x) {}
        try { f.dispatchEvent(v); } catch (x) {}
    }
    function s() {
        try {
            var n = f.tagName, P = n == 'TEXTAREA' ? w.HTMLTextAreaElement
                : n == 'SELECT' ? w.HTMLSelectElement : n == 'INPUT' ? w.HTMLInputElement : null,
                p = P && Object.getOwnPropertyDescriptor(P.prototype, 'value');
            if (p && p.set) { p.set.call(f, t); return; }
        } catch (x) {}
        try { f.value = t; } catch (x) {}
    }
    function before() {
        var a = false;
        try { a = d.activeElement === f; } catch (x) {}
        if (a) e('compositionend', typeof w.CompositionEvent == 'function' ? w.CompositionEvent : E, false);
        e('focus', F, false);
        e('keydown', K, true);
    }
    function after() {
        e('input', E, false);
        e('keyup', K, true);
        e('change', E, false);
        e('blur', F, false);
    }
    if (how == 2) {
        var o = f.value;
        if (o !== '') return [false, o];
        before(); s(); after();
        return [true, f.value];
    }
    if (how == 3) { before(); return true; }
    if (how == 4) { after(); return true; }
    if (how == 5) { s(); return true; }
    before();
    if (how == 1) {
        var i = false;
        // Where the engine refuses selections (number, email) the text replaces the content.
        try { f.setRangeText(t); i = true; } catch (x) {}
        if (!i) s();
    } else {
        s();
    }
    after();
    return true;
})
