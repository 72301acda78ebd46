// Quandrel's helper inside KWin. It asks Quandrel for its next request over D-Bus (the call is
// answered when Quandrel has one), carries it out on KWin's windows and outputs, and hands the
// answer over with the next call. A request that ends later (a frame the client has yet to
// take) is answered on its own. Requests and answers are JSON: {"id": n, "op": …} and
// {"id": n, "result": …}.
//
// The service and path Quandrel listens on are filled in when Quandrel writes this file out.

var bridge = {
    service: "@QUANDREL_SERVICE@",
    path: "/org/quandrel/KWin",
    iface: "org.quandrel.KWinBridge",
};

// Where KWin 5.27 and KWin 6 spell things differently.
var shim = {
    windows: function () { return workspace.windowList ? workspace.windowList() : workspace.clientList(); },
    active: function () { return workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient; },
    activate: function (w) {
        if (workspace.activeWindow !== undefined)
            workspace.activeWindow = w;
        else
            workspace.activeClient = w;
    },
    // Calls `f(window)` for each window that appears, and for each that becomes active.
    onAdded: function (f) { (workspace.windowAdded !== undefined ? workspace.windowAdded : workspace.clientAdded).connect(f); },
    onActivated: function (f) { (workspace.windowActivated !== undefined ? workspace.windowActivated : workspace.clientActivated).connect(f); },
    // Each output with its full and usable area; KWin 5.27 names outputs by index only.
    outputs: function () {
        var result = [];
        if (workspace.screens !== undefined) {
            for (var i = 0; i < workspace.screens.length; ++i) {
                var o = workspace.screens[i];
                result.push({ name: o.name, frame: rect(o.geometry), scale: o.devicePixelRatio,
                              area: rect(workspace.clientArea(KWin.MaximizeArea, o, workspace.currentDesktop)) });
            }
            return result;
        }
        for (var n = 0; n < workspace.numScreens; ++n) {
            result.push({ name: "", frame: rect(workspace.clientArea(KWin.ScreenArea, n, workspace.currentDesktop)), scale: 0,
                          area: rect(workspace.clientArea(KWin.MaximizeArea, n, workspace.currentDesktop)) });
        }
        return result;
    },
};

function rect(r) { return { x: r.x, y: r.y, width: r.width, height: r.height }; }

function idOf(w) { return String(w.internalId); }

function find(id) {
    var all = shim.windows();
    for (var i = 0; i < all.length; ++i) {
        if (idOf(all[i]) === id)
            return all[i];
    }
    return null;
}

function describe(w) {
    return {
        id: idOf(w), pid: w.pid, frame: rect(w.frameGeometry), resourceClass: String(w.resourceClass),
        resourceName: String(w.resourceName), desktopFile: String(w.desktopFileName || ""), caption: String(w.caption),
        minimized: w.minimized, normal: w.normalWindow && !w.specialWindow, active: w === shim.active(),
        stacking: w.stackingOrder,
    };
}

// Front to back.
function listWindows() {
    var all = shim.windows().filter(function (w) { return !w.deleted && w.managed; });
    all.sort(function (a, b) { return b.stackingOrder - a.stackingOrder; });
    return all.map(describe);
}

function sameFrame(a, b) { return a.x === b.x && a.y === b.y && a.width === b.width && a.height === b.height; }

// Answered once the window shows the frame, or at the first frame the client settles on that
// differs (its size limits), or after a second.
function setFrame(request) {
    var w = find(request.window);
    if (!w)
        return { gone: true };
    var wanted = request.frame;
    w.frameGeometry = wanted;
    if (sameFrame(rect(w.frameGeometry), wanted))
        return { frame: rect(w.frameGeometry) };
    var done = false;
    var timer = new QTimer();
    timer.singleShot = true;
    timer.interval = 1000;
    var finish = function () {
        if (done)
            return;
        done = true;
        timer.stop();
        w.frameGeometryChanged.disconnect(changed);
        answerLater(request.id, { frame: rect(w.frameGeometry) });
    };
    var changed = function () {
        if (sameFrame(rect(w.frameGeometry), wanted))
            finish();
    };
    w.frameGeometryChanged.connect(changed);
    timer.timeout.connect(finish);
    timer.start();
    return undefined;
}

function handle(request) {
    switch (request.op) {
    case "windows":
        return listWindows();
    case "outputs":
        return { outputs: shim.outputs(), version: workspace.windowList ? 6 : 5 };
    case "setFrame":
        return setFrame(request);
    case "activate": {
        var w = find(request.window);
        if (!w)
            return false;
        if (w.minimized)
            w.minimized = false;
        shim.activate(w);
        return true;
    }
    case "minimize": {
        var m = find(request.window);
        if (!m)
            return false;
        m.minimized = request.on;
        return true;
    }
    // Quandrel's own windows, named by their process and caption: panels above everything on
    // every desktop and outside the task bar and switchers, now and whenever one appears. The
    // next one to appear with the caption goes where Quandrel asked (Wayland clients cannot
    // place their windows); one that must not take the focus hands it back.
    case "panelRole":
        addRule({ pid: request.pid, caption: request.caption, focus: request.focus !== false, overlay: false });
        if (request.at)
            placements.push({ pid: request.pid, caption: request.caption, x: request.at.x, y: request.at.y, asked: Date.now() });
        shim.windows().forEach(applyRules);
        return true;
    // The selection overlay's windows: above the panels, outside the task bar and switchers.
    case "overlayRole":
        addRule({ pid: request.pid, caption: request.caption, focus: true, overlay: true });
        shim.windows().forEach(applyRules);
        return true;
    // The overlay's window takes the focus (when it appears, if it is not there yet); the
    // window active before gets it back on release.
    case "activateOwn": {
        var before = shim.active();
        if (before && !(before.pid === request.pid && String(before.caption) === request.caption))
            focusBefore = before;
        var own = shim.windows().filter(function (x) { return isOwn(x, request); });
        if (own.length) {
            shim.activate(own[0]);
            pendingActivation = null;
        } else {
            pendingActivation = { pid: request.pid, caption: request.caption };
        }
        return true;
    }
    case "releaseOwn": {
        pendingActivation = null;
        var back = focusBefore;
        focusBefore = null;
        if (back && shim.windows().indexOf(back) >= 0) {
            shim.activate(back);
            return true;
        }
        return false;
    }
    case "pointer": {
        var at = workspace.cursorPos;
        return at ? { x: at.x, y: at.y } : null;
    }
    case "idle":
        return null;
    }
    return { error: "unknown request " + request.op };
}

var rules = [];
var placements = [];
var pendingActivation = null;
var focusBefore = null;
var lastOther = shim.active(); // the last active window that is no panel of Quandrel's that refuses the focus
// A place asked for a panel that never appeared is forgotten after a while.
var placementLifetimeMs = 10000;

function isOwn(w, rule) { return w.pid === rule.pid && String(w.caption) === rule.caption; }

function ruleOf(w) {
    for (var i = 0; i < rules.length; ++i) {
        if (isOwn(w, rules[i]))
            return rules[i];
    }
    return null;
}

function addRule(rule) {
    for (var i = 0; i < rules.length; ++i) {
        if (rules[i].pid === rule.pid && rules[i].caption === rule.caption) {
            rules[i] = rule;
            return;
        }
    }
    rules.push(rule);
}

function applyRules(w) {
    if (!ruleOf(w))
        return;
    w.keepAbove = true;
    w.onAllDesktops = true;
    w.skipTaskbar = true;
    w.skipSwitcher = true;
    w.skipPager = true;
}

function place(w) {
    var now = Date.now();
    placements = placements.filter(function (p) { return now - p.asked < placementLifetimeMs; });
    for (var i = 0; i < placements.length; ++i) {
        if (isOwn(w, placements[i])) {
            var frame = rect(w.frameGeometry);
            w.frameGeometry = { x: placements[i].x, y: placements[i].y, width: frame.width, height: frame.height };
            placements.splice(i, 1);
            return;
        }
    }
}

function windowAdded(w) {
    applyRules(w);
    place(w);
    if (pendingActivation && isOwn(w, pendingActivation)) {
        pendingActivation = null;
        shim.activate(w);
    }
}

function windowActivated(w) {
    if (!w)
        return;
    var rule = ruleOf(w);
    if (!rule || rule.focus) {
        lastOther = w;
        return;
    }
    // Not from within KWin's activation: once it is done.
    var back = lastOther;
    var timer = new QTimer();
    timer.singleShot = true;
    timer.interval = 0;
    timer.timeout.connect(function () {
        if (back && shim.active() === w && shim.windows().indexOf(back) >= 0 && !back.minimized)
            shim.activate(back);
    });
    timer.start();
}

shim.onAdded(windowAdded);
shim.onActivated(windowActivated);

function answerLater(id, result) {
    callDBus(bridge.service, bridge.path, bridge.iface, "Answer", JSON.stringify({ id: id, result: result }));
}

function next(answer) {
    callDBus(bridge.service, bridge.path, bridge.iface, "Next", JSON.stringify(answer), function (text) {
        var request;
        try {
            request = JSON.parse(text);
        } catch (e) {
            next({ id: -1, result: { error: "bad request" } });
            return;
        }
        if (request.op === "quit")
            return;
        var result;
        try {
            result = handle(request);
        } catch (e) {
            result = { error: String(e) };
        }
        next(result === undefined ? { id: -1, result: null } : { id: request.id, result: result });
    });
}

next({ id: 0, result: { hello: true } });
