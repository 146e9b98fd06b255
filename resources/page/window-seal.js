// Takes from every window a page's scripts can reach, before they can reach
// it, what no page of the program needs and would serve a page against it:
// - WebRTC. Its connections are the only ones that pass the page's policy
//   and the guard; the engine has no way out for them either (no proxy that
//   carries them, no name it may look up), but a page should not even try.
// - What makes the program itself hold a page's data: the engine keeps
//   blobs and a page's stores in the program's own process, where the
//   page's bound of memory does not reach (a page making blobs in a loop
//   took it from 237 MB to 2.3 GB in 9 s). So there are no blobs or files
//   (nor their addresses, nor the ways to them: a response's or a
//   request's blob and form data, a canvas's blob, recording), and no
//   IndexedDB, cache, file system or storage manager. What the engine
//   bounds for each page (its local and session storage, its cookies)
//   stays.
// - What the engine keeps of a page in the program's process for as long as
//   the page lives, which the program bounds (it keeps no history beyond
//   the page's present place in it): a history state of at most MaxState
//   bytes (history.pushState and replaceState throw a QuotaExceededError
//   past it), an address the page moves to of at most MaxAddress
//   characters (the two throw the same past it; a move by its address, a
//   fragment or a link is not made), a window name of at most MaxName
//   characters (setting a longer one throws; a frame that comes with one
//   has it emptied), and frames: at most MaxFrames in the page at once,
//   none named longer than MaxName or given an address longer than
//   MaxAddress (by markup or by script, a call that would make one throws
//   a QuotaExceededError), and a frame whose window moves to a fragment
//   that makes its address longer goes at once (see keepAddressShort());
//   no icons (no link names one: the program shows none),
//   and no downloads (a click on a link to download does nothing; the
//   engine kept each one it was asked for, its address whole). The
//   navigation API, whose states the engine would keep too, is taken, and
//   so are notifications, whose permission the program refuses (a page
//   asking for it in a loop flooded the program with questions): no page
//   of the program needs them.
//
// The program runs this script in every document that loads, before the
// document's own scripts. A frame, though, begins with an empty document
// that nothing loads (a frame without an address, or one whose address the
// page's policy refuses), in a window of its own that the page reaches at
// once: as window[0] or frames[0], by the frame's name, through the frame
// element or its document's view. So each window made safe here is watched
// in turn, and a frame made in its document, by any means, is made safe
// before the page's next step can reach it:
// - the engine tells of a new frame before the call that made it returns
//   (a node put into the document, an empty frame's load), or, for what the
//   parser adds, before the parser runs the next script;
// - a frame element gives out its window or document only made safe;
// - text written into a document goes to the parser a tag at a time, each
//   new frame made safe before the next tag (a script) can run;
// - a script made by script and put in together with a frame (in a shadow
//   tree there too) runs once the frame is safe;
// - the functions this relies on are taken before any page script runs, and
//   nothing the page changes of its windows afterwards (their prototypes,
//   their frame count) is asked.
// An empty document made safe from outside runs no script of its own either,
// nor does a document a "javascript:" address would put in its place.
//
// What is left (the engine's flags still let nothing out of it):
// - a frame that is to show a document of its own ("srcdoc") is made safe
//   once it has loaded that document (see onItsWay()), and an embedded one
//   only from the window's list of frames, before the next script: until
//   then the page can reach their empty first documents, and so their
//   blobs and stores too (what no page needs is not taken from the first
//   early either: the frame would then lose its load to a form the page
//   sends meanwhile);
// - an option holding a frame and a script made by script, put into a
//   select by its index (select[i] = option), which no script can stand
//   between.
(function () {
  'use strict';
  // This window's own functions, taken before any page script can change
  // them; they work on the objects of every window.
  var apply = Reflect.apply;
  var defineProperty = Object.defineProperty;
  var getOwnPropertyNames = Object.getOwnPropertyNames;
  var getOwnPropertyDescriptor = Object.getOwnPropertyDescriptor;
  var hasOwn = Object.prototype.hasOwnProperty;
  var toText = String;
  var indexOf = String.prototype.indexOf;
  var slice = String.prototype.slice;
  var startsWith = String.prototype.startsWith;
  var WeakMapOf = WeakMap, mapGet = WeakMap.prototype.get, mapSet = WeakMap.prototype.set;
  var WeakSetOf = WeakSet, setHas = WeakSet.prototype.has, setAdd = WeakSet.prototype.add;
  var addEventListener = EventTarget.prototype.addEventListener;
  var eventTarget = getOwnPropertyDescriptor(Event.prototype, 'target').get;
  var eventType = getOwnPropertyDescriptor(Event.prototype, 'type').get;
  var documentQueryAll = Document.prototype.querySelectorAll;
  // The frame elements' own ways to their windows.
  var windowOf = [['iframe', getOwnPropertyDescriptor(HTMLIFrameElement.prototype, 'contentWindow').get],
                  ['frame', getOwnPropertyDescriptor(HTMLFrameElement.prototype, 'contentWindow').get],
                  ['object', getOwnPropertyDescriptor(HTMLObjectElement.prototype, 'contentWindow').get]];
  var Observer = MutationObserver, observe = MutationObserver.prototype.observe;
  var nodeType = getOwnPropertyDescriptor(Node.prototype, 'nodeType').get;
  var parentNode = getOwnPropertyDescriptor(Node.prototype, 'parentNode').get;
  var replaceChild = Node.prototype.replaceChild;
  var matches = Element.prototype.matches;
  var elementQuery = Element.prototype.querySelector;
  var elementQueryAll = Element.prototype.querySelectorAll;
  var fragmentQuery = DocumentFragment.prototype.querySelector;
  var fragmentQueryAll = DocumentFragment.prototype.querySelectorAll;
  var createElement = Document.prototype.createElement;
  var createTextNode = Document.prototype.createTextNode;
  var nativeWrite = Document.prototype.write;
  var documentHead = getOwnPropertyDescriptor(Document.prototype, 'head').get;
  var documentUrl = getOwnPropertyDescriptor(Document.prototype, 'URL').get;
  var defaultView = getOwnPropertyDescriptor(Document.prototype, 'defaultView').get;
  var frameCount = getOwnPropertyDescriptor(window, 'length').get;
  var windowTop = getOwnPropertyDescriptor(window, 'top').get;
  var setAttribute = Element.prototype.setAttribute;
  var prepend = Element.prototype.prepend;
  var frameElements = 'iframe,frame,object,embed';
  var ownDocument = document;
  var removeAttribute = Element.prototype.removeAttribute;
  var closest = Element.prototype.closest;
  var preventDefault = Event.prototype.preventDefault;
  var baseAddress = getOwnPropertyDescriptor(Node.prototype, 'baseURI').get;
  var Address = URL, addressText = getOwnPropertyDescriptor(URL.prototype, 'href').get;
  var Failure = DOMException;
  var cloneOf = structuredClone;
  var getPrototypeOf = Object.getPrototypeOf;
  var isView = ArrayBuffer.isView;
  var bufferLength = getOwnPropertyDescriptor(ArrayBuffer.prototype, 'byteLength').get;
  var typedBuffer = getOwnPropertyDescriptor(getPrototypeOf(Uint8Array.prototype), 'buffer').get;
  var viewBuffer = getOwnPropertyDescriptor(DataView.prototype, 'buffer').get;
  var mapEach = Map.prototype.forEach, setEach = Set.prototype.forEach;
  var stringValue = String.prototype.valueOf;
  var patternSource = getOwnPropertyDescriptor(RegExp.prototype, 'source').get;
  var pictureData = getOwnPropertyDescriptor(ImageData.prototype, 'data').get;
  var bitmapWidth = getOwnPropertyDescriptor(ImageBitmap.prototype, 'width').get;
  var bitmapHeight = getOwnPropertyDescriptor(ImageBitmap.prototype, 'height').get;
  var failureMessage = getOwnPropertyDescriptor(DOMException.prototype, 'message').get;
  var windowLocation = getOwnPropertyDescriptor(window, 'location').get;
  var locationAddress = getOwnPropertyDescriptor(location, 'href').get;
  var emptyFragment = getOwnPropertyDescriptor(location, 'hash').set;
  var frameElementOf = getOwnPropertyDescriptor(window, 'frameElement').get;
  var toLower = String.prototype.toLowerCase;
  var attributeOwner = getOwnPropertyDescriptor(Attr.prototype, 'ownerElement').get;
  var attributeName = getOwnPropertyDescriptor(Attr.prototype, 'name').get;
  var attributeValue = getOwnPropertyDescriptor(Attr.prototype, 'value').get;
  var removeElement = Element.prototype.remove;
  var attributeOf = Element.prototype.getAttribute;
  var templateContent = getOwnPropertyDescriptor(HTMLTemplateElement.prototype, 'content').get;
  var markupInto = getOwnPropertyDescriptor(Element.prototype, 'innerHTML').set;
  // Markup is read apart in a document of its own, where nothing it makes
  // is live.
  var apart = apply(DOMImplementation.prototype.createHTMLDocument,
                    apply(getOwnPropertyDescriptor(Document.prototype, 'implementation').get, document, []), ['']);
  // A frame's start tag in markup, in any letter case.
  var frameTag = /<(?:i?frame|object|embed)[\t\n\f\r \/>]/i;
  defineProperty(frameTag, 'exec', {__proto__: null, value: RegExp.prototype.exec});
  var testPattern = RegExp.prototype.test;
  var navigateDestination = window.NavigateEvent &&
                            getOwnPropertyDescriptor(NavigateEvent.prototype, 'destination').get;
  var destinationAddress = window.NavigationDestination &&
                           getOwnPropertyDescriptor(NavigationDestination.prototype, 'url').get;
  // The most the engine keeps of a page's history state (in bytes, as
  // counted by stateSize()), of an address the page moves to and of a
  // window's name (in characters). The engine keeps an address many times
  // over (a 2 MB one cost the program 17 times that).
  var MaxState = 1 << 20, MaxAddress = 1 << 16, MaxName = 1 << 12, MaxFrames = 100;

  // The documents made safe, each with the function that makes its frames
  // safe, which its watchers call.
  var watched = new WeakMapOf();
  // The functions this script put in place of a window's own.
  var ours = new WeakSetOf();
  // The shadow trees attached by script, closed ones too, by their hosts.
  var shadows = new WeakMapOf();
  // The frames given a document of their own ("srcdoc") that have loaded it.
  var loaded = new WeakSetOf();

  // Puts `value` at the end of `list`, whatever setters the page gave
  // arrays.
  function add(list, value) {
    defineProperty(list, list.length,
                   {__proto__: null, value: value, writable: true, enumerable: true, configurable: true});
  }

  // A list of a call's arguments (or any list's items), which a wrapper may
  // change before it hands them on.
  function listOf(items) {
    var list = [];
    for (var i = 0; i < items.length; i++) add(list, items[i]);
    return list;
  }

  // What this script takes from a window before any page script runs (see
  // above): [global, its own properties, its prototype's]. A window made
  // safe from outside keeps them as they are for good, so that the frame's
  // own document, which may come into the same window, finds them unchanged
  // when its copy of this script takes them.
  var taken = [
    ['Reflect', ['apply'], []],
    ['Object', ['defineProperty', 'getOwnPropertyNames', 'getOwnPropertyDescriptor', 'getPrototypeOf'],
     ['hasOwnProperty']],
    ['String', [], ['indexOf', 'slice', 'startsWith', 'valueOf', 'toLowerCase']],
    ['structuredClone', [], []],
    ['DOMException', [], ['message']],
    ['URL', [], ['href']],
    ['ArrayBuffer', ['isView'], ['byteLength']],
    ['Uint8Array', [], []],
    ['DataView', [], ['buffer']],
    ['Map', [], ['forEach']],
    ['Set', [], ['forEach']],
    ['RegExp', [], ['source', 'exec', 'test']],
    ['ImageData', [], ['data']],
    ['ImageBitmap', [], ['width', 'height']],
    ['NavigateEvent', [], ['destination']],
    ['NavigationDestination', [], ['url']],
    ['WeakMap', [], ['get', 'set']],
    ['WeakSet', [], ['has', 'add']],
    ['EventTarget', [], ['addEventListener']],
    ['Event', [], ['target', 'type', 'preventDefault']],
    ['MutationObserver', [], ['observe']],
    ['Node', [], ['nodeType', 'parentNode', 'replaceChild', 'baseURI']],
    ['Element', [], ['matches', 'querySelector', 'querySelectorAll', 'setAttribute', 'prepend', 'removeAttribute',
                     'closest', 'getAttribute', 'remove', 'innerHTML']],
    ['Attr', [], ['ownerElement', 'name', 'value']],
    ['HTMLTemplateElement', [], ['content']],
    ['DOMImplementation', [], ['createHTMLDocument']],
    ['DocumentFragment', [], ['querySelector', 'querySelectorAll']],
    ['Document', [], ['createElement', 'createTextNode', 'write', 'head', 'URL', 'defaultView', 'querySelectorAll',
                      'implementation']],
    ['HTMLIFrameElement', [], ['contentWindow']],
    ['HTMLFrameElement', [], ['contentWindow']],
    ['HTMLObjectElement', [], ['contentWindow']],
  ];

  function keep(object, name) {
    var was = object && getOwnPropertyDescriptor(object, name);
    if (!was) return;
    var now = {__proto__: null, configurable: false};
    if (apply(hasOwn, was, ['value'])) now.writable = false;
    try { defineProperty(object, name, now); } catch (e) {}
  }

  function keepTaken(w) {
    keep(w, 'length');
    keep(w, 'frameElement');
    for (var i = 0; i < taken.length; i++) {
      var name = taken[i][0], owner = w[name], k;
      keep(w, name);
      for (k = 0; k < taken[i][1].length; k++) keep(owner, taken[i][1][k]);
      for (k = 0; k < taken[i][2].length; k++) keep(owner && owner.prototype, taken[i][2][k]);
    }
    var typed = w.Uint8Array && getPrototypeOf(w.Uint8Array.prototype);
    keep(typed, 'buffer');
  }

  // What is taken from each window besides WebRTC: its own properties, and
  // those of [interface, member] (the member on the interface's prototype,
  // or, with a "static " before its name, on the interface itself).
  var unneeded = ['Blob', 'File', 'indexedDB', 'caches', 'openDatabase', 'webkitRequestFileSystem',
                  'webkitResolveLocalFileSystemURL', 'MediaRecorder', 'showOpenFilePicker', 'showSaveFilePicker',
                  'showDirectoryPicker', 'Notification'];
  var unneededMembers = [['URL', 'static createObjectURL'], ['Response', 'blob'], ['Response', 'formData'],
                         ['Request', 'blob'], ['Request', 'formData'], ['Navigator', 'storage'],
                         ['HTMLCanvasElement', 'toBlob'], ['OffscreenCanvas', 'convertToBlob']];

  function take(object, name) {
    if (!object) return;
    try { defineProperty(object, name, {__proto__: null, value: undefined, writable: false, configurable: false}); }
    catch (e) {}
  }

  function takeUnneeded(w) {
    var names = getOwnPropertyNames(w), i;
    for (i = 0; i < names.length; i++)
      if (apply(startsWith, names[i], ['RTC']) || apply(startsWith, names[i], ['webkitRTC'])) take(w, names[i]);
    var members = [];
    for (i = 0; i < unneededMembers.length; i++) {
      var kind = w[unneededMembers[i][0]], member = unneededMembers[i][1];
      var own = apply(startsWith, member, ['static ']);
      if (kind) add(members, [own ? kind : kind.prototype, own ? apply(slice, member, [7]) : member]);
    }
    for (i = 0; i < unneeded.length; i++) take(w, unneeded[i]);
    for (i = 0; i < members.length; i++) take(members[i][0], members[i][1]);
  }

  // Puts make(original) in place of the method, getter or setter `name` of
  // `object` (`part`: 'value', 'get' or 'set'). The page cannot have the
  // original back: every window it reaches has only this script's.
  function replace(object, name, part, make) {
    if (!object) return;
    var was = getOwnPropertyDescriptor(object, name);
    var original = was && apply(hasOwn, was, [part]) ? was[part] : undefined;
    if (typeof original !== 'function' || apply(setHas, ours, [original])) return;
    var made = make(original);
    apply(setAdd, ours, [made]);
    var now = {__proto__: null, enumerable: was.enumerable, configurable: was.configurable};
    if (part === 'value') { now.value = made; now.writable = was.writable; }
    else { now.get = was.get; now.set = was.set; now[part] = made; }
    try { defineProperty(object, name, now); } catch (e) {}
  }

  function viewOf(document) {
    try { return document ? apply(defaultView, document, []) : null; } catch (e) { return null; }
  }

  // The window of a frame element, by the element's own way to it.
  function windowOfElement(element) {
    for (var k = 0; k < windowOf.length; k++) {
      if (!apply(matches, element, [windowOf[k][0]])) continue;
      try { return apply(windowOf[k][1], element, []); } catch (e) { return null; }
    }
    return null;
  }

  // Whether `element` is a frame still on its way to a document of its own
  // ("srcdoc"). Such a frame is left alone until it has loaded that
  // document: made safe before (its empty first document reached), it could
  // lose that load to a form the page tries to send meanwhile, which the
  // engine refuses. Its document runs its own copy of this script from its
  // start, and the frame is made safe from here at its load.
  function onItsWay(element) {
    return apply(matches, element, ['iframe[srcdoc]']) && !apply(setHas, loaded, [element]);
  }

  // Makes the frames of the elements at or below `node` safe (`node` a node
  // just put in, a frame just loaded, a document).
  function sealFramesIn(node) {
    var type = 0, found = [], below, i;
    try { type = apply(nodeType, node, []); } catch (e) { return; }
    if (type === 1) {
      if (apply(matches, node, [frameElements])) add(found, node);
      below = apply(elementQueryAll, node, [frameElements]);
    } else if (type === 11) {
      below = apply(fragmentQueryAll, node, [frameElements]);
    } else if (type === 9) {
      below = apply(documentQueryAll, node, [frameElements]);
    } else {
      return;
    }
    for (i = 0; below[i]; i++) add(found, below[i]);
    for (i = 0; i < found.length; i++)
      if (!onItsWay(found[i])) sealWindow(windowOfElement(found[i]), false);
  }

  // Makes the frames of `w` safe, and theirs. An embedded frame has no way
  // to its window but the window's list of frames, which is gone through
  // once no frame is on its way (see onItsWay()).
  function sealFrames(w) {
    var document = null, i;
    try { document = w.document; } catch (e) { return; }
    if (!document) return;
    sealFramesIn(document);
    if (!apply(documentQueryAll, document, ['embed'])[0]) return;
    var frames = apply(documentQueryAll, document, [frameElements]);
    for (i = 0; frames[i]; i++)
      if (onItsWay(frames[i])) return;
    var count = 0;
    try { count = apply(frameCount, w, []); } catch (e) { return; }
    for (i = 0; i < count; i++) {
      var frame = null;
      try { frame = w[i]; } catch (e) {}
      sealWindow(frame, false);
    }
  }

  function tooLarge(what) {
    return new Failure(what + ' is larger than a page may keep', 'QuotaExceededError');
  }

  // How many bytes the engine keeps of `value`, a copy made by
  // structuredClone() (whose properties are all its own data), counted up
  // to a little past `most`: its strings and numbers, the bytes of its
  // buffers (a view keeps all of its buffer), pictures and bitmaps.
  function stateSize(value, most) {
    var seen = new WeakSetOf(), next = [value], size = 0;
    function push(v) { add(next, v); }
    while (next.length && size <= most) {
      var v = next[next.length - 1];
      next.length--;
      var type = typeof v;
      if (type === 'string') { size += 2 * v.length; continue; }
      if (type === 'bigint') { size += toText(v).length; continue; }
      if ((type !== 'object' && type !== 'function') || v === null) { size += 8; continue; }
      if (apply(setHas, seen, [v])) continue;
      apply(setAdd, seen, [v]);
      size += 16;
      try { size += apply(bufferLength, v, []); continue; } catch (e) {}
      if (isView(v)) {
        try { push(apply(typedBuffer, v, [])); } catch (e) { push(apply(viewBuffer, v, [])); }
        continue;
      }
      try { apply(mapEach, v, [function (item, key) { push(key); push(item); }]); continue; } catch (e) {}
      try { apply(setEach, v, [function (item) { push(item); }]); continue; } catch (e) {}
      try { size += 2 * apply(stringValue, v, []).length; continue; } catch (e) {}
      try { size += 2 * apply(patternSource, v, []).length; } catch (e) {}
      try { push(apply(pictureData, v, [])); } catch (e) {}
      try { size += 4 * apply(bitmapWidth, v, []) * apply(bitmapHeight, v, []); } catch (e) {}
      try { size += 2 * apply(failureMessage, v, []).length; } catch (e) {}
      var names = getOwnPropertyNames(v);
      for (var i = 0; i < names.length && size <= most; i++) {
        size += 2 * names[i].length;
        var held = getOwnPropertyDescriptor(v, names[i]);
        if (held && apply(hasOwn, held, ['value'])) push(held.value);
      }
    }
    return size;
  }

  // Bounds what `w` hands the engine to keep for it (see above).
  function boundWhatIsKept(w, document) {
    var history = w.History && w.History.prototype;
    var names = ['pushState', 'replaceState'];
    for (var n = 0; n < names.length; n++) {
      replace(history, names[n], 'value', function (original) {
        return function (state, unused, url) {
          var given = listOf(arguments);
          if (given.length > 0) {
            given[0] = cloneOf(state);
            if (stateSize(given[0], MaxState) > MaxState) throw tooLarge('The history state');
          }
          if (given.length > 2 && url !== undefined && url !== null) {
            var address = '';
            // One that is no address fails as the engine has it fail.
            try { address = apply(addressText, new Address(toText(url), apply(baseAddress, document, [])), []); }
            catch (e) {}
            if (address.length > MaxAddress) throw tooLarge('The address');
          }
          return apply(original, this, given);
        };
      });
    }
    // Every other move of the page to an address of its own (a fragment, a
    // link, location) is told before it is made, but in a frame on its
    // first, empty document.
    var navigation = null;
    try { navigation = w.navigation; } catch (e) {}
    if (navigation && navigateDestination && destinationAddress) {
      apply(addEventListener, navigation, ['navigate', function (event) {
        try {
          var address = apply(destinationAddress, apply(navigateDestination, event, []), []);
          if (address.length > MaxAddress) apply(preventDefault, event, []);
        } catch (e) {}
      }]);
    }
    take(w, 'navigation');
    var boundName = function (original) {
      return function (name) {
        var text = toText(name);
        if (text.length > MaxName) throw tooLarge("The window's name");
        return apply(original, this, [text]);
      };
    };
    replace(w, 'name', 'set', boundName);
    replace(w.Window && w.Window.prototype, 'name', 'set', boundName);
    try { if (w.name.length > MaxName) w.name = ''; } catch (e) {}
    var icons = function () { dropIcons(document); };
    apply(observe, new Observer(icons),
          [document, {__proto__: null, childList: true, subtree: true, attributes: true, attributeFilter: ['rel']}]);
    icons();
  }

  // The links that name the icons of `document` (those in its head, where
  // the engine looks for them) name none.
  function dropIcons(document) {
    var found;
    try { found = apply(elementQueryAll, apply(documentHead, document, []), [iconLinks]); } catch (e) { return; }
    for (var i = 0; found[i]; i++) apply(removeAttribute, found[i], ['rel']);
  }
  var iconLinks = 'link[rel~="icon" i], link[rel~="apple-touch-icon" i], link[rel~="apple-touch-icon-precomposed" i]';

  // A click on a link to download does nothing.
  function refuseDownload(event) {
    try {
      var node = apply(eventTarget, event, []);
      if (node && apply(nodeType, node, []) === 1 && apply(closest, node, ['a[download], area[download]']))
        apply(preventDefault, event, []);
    } catch (e) {}
  }

  function sealWindow(w, own) {
    if (!w) return;
    var document = null;
    // Another origin's window (a page the policy refused shows as one):
    // nothing of it can be reached.
    try { document = w.document; } catch (e) { return; }
    if (!document) return;
    if (apply(mapGet, watched, [document])) {
      sealFrames(w);
      return;
    }
    var seal = function () { sealFrames(w); };
    apply(mapSet, watched, [document, seal]);
    takeUnneeded(w);
    guardWindow(w);
    boundAttributes(w);
    boundWhatIsKept(w, document);
    watch(w, document, seal);
    // What the parser adds is told before the parser runs the next script.
    apply(observe, new Observer(seal), [document, {__proto__: null, childList: true, subtree: true}]);
    if (!own) {
      forbidScripts(document);
      keepTaken(w);
    }
    sealFrames(w);
  }

  // A node put in, or an element loaded (a frame among them).
  function arrived(event) {
    var node = null, type = '';
    try { node = apply(eventTarget, event, []); type = apply(eventType, event, []); } catch (e) { return; }
    if (!node) return;
    if (type === 'load' && apply(nodeType, node, []) === 1 && apply(matches, node, ['iframe']))
      apply(setAdd, loaded, [node]);
    sealFramesIn(node);
  }

  // The events the engine sends at once when a frame is made: a node put in
  // by a call, the load of an empty frame, and the parser's last step; the
  // observer tells of the rest before the next script runs. Opening a
  // document again takes the listeners away; they are put back.
  function watch(w, document, seal) {
    apply(addEventListener, w, ['DOMNodeInserted', arrived, true]);
    apply(addEventListener, document, ['DOMNodeInserted', arrived, true]);
    apply(addEventListener, document, ['load', arrived, true]);
    apply(addEventListener, document, ['readystatechange', seal, true]);
    apply(addEventListener, w, ['click', refuseDownload, true]);
    apply(addEventListener, w, ['popstate', keepAddressShort, true]);
  }

  // A window's move to a fragment of its address is told at once, before
  // the call that made it returns, by its popstate: in a frame's first,
  // empty document too, whose moves nothing else tells of before they are
  // made (a page could give each of its frames an address of megabytes,
  // which the engine keeps many times over). One longer than a page may
  // keep is followed there and then by a move to an empty fragment (the
  // history cannot change the address of such a document), and the engine
  // lets go of it: it never holds more than one such address at a time.
  function keepAddressShort(event) {
    try {
      var w = apply(eventTarget, event, []), place = apply(windowLocation, w, []);
      if (apply(locationAddress, place, []).length <= MaxAddress) return;
      apply(emptyFragment, place, ['']);
      var element = apply(frameElementOf, w, []);
      if (element) apply(removeElement, element, []);
    } catch (e) {}
  }

  function watchAgain(document) {
    var seal = apply(mapGet, watched, [document]);
    var w = viewOf(document);
    if (!seal || !w) return;
    watch(w, document, seal);
    seal();
  }

  // An empty document made safe from outside runs no script: neither what
  // the page writes into it nor a document that a "javascript:" address
  // would make in its place.
  function forbidScripts(document) {
    try {
      var head = apply(documentHead, document, []);
      if (!head || !apply(startsWith, apply(documentUrl, document, []), ['about:blank'])) return;
      var policy = apply(createElement, document, ['meta']);
      apply(setAttribute, policy, ['http-equiv', 'Content-Security-Policy']);
      apply(setAttribute, policy, ['content', "script-src 'none'"]);
      apply(prepend, head, [policy]);
    } catch (e) {}
  }

  // A frame's name and address go to the engine as the frame is made, and
  // the engine keeps them: a frame named longer than a window may be, or
  // with an address longer than a page may move to, is not made.
  function boundFrame(frame) {
    var name = apply(attributeOf, frame, ['name']);
    if (name !== null && name.length > MaxName) throw tooLarge("A frame's name");
    for (var i = 0; i < frameAddresses.length; i++) {
      var address = apply(attributeOf, frame, [frameAddresses[i]]);
      if (address !== null && address.length > MaxAddress) throw tooLarge("A frame's address");
    }
  }
  var frameAddresses = ['src', 'data'];

  // Gives back `value` as the text an attribute `name` of `element` is to
  // have (read once), refused when `element` is a frame and the text is a
  // longer address than a page may move to: the frame would move to it at
  // once.
  function boundAttribute(element, name, value) {
    var text = toText(value);
    if (text.length <= MaxAddress || !element) return text;
    try { if (apply(nodeType, element, []) !== 1 || !apply(matches, element, [frameElements])) return text; }
    catch (e) { return text; }
    var lower = apply(toLower, toText(name), []);
    for (var i = 0; i < frameAddresses.length; i++)
      if (lower === frameAddresses[i]) throw tooLarge("A frame's address");
    return text;
  }

  // The ways to give an element's attribute a text: [interface, member,
  // 'value' or 'set', where the element is, where the name and the value
  // are in the arguments]. The element is `this` (-1) or an attribute's
  // owner (-2); an attribute's name and value come from the attribute
  // itself when their place is -1.
  var attributeWays = [['Element', 'setAttribute', 'value', -1, 0, 1],
                       ['Element', 'setAttributeNS', 'value', -1, 1, 2],
                       ['Element', 'setAttributeNode', 'value', -1, -1, -1],
                       ['Element', 'setAttributeNodeNS', 'value', -1, -1, -1],
                       ['Attr', 'value', 'set', -2, -1, 0],
                       ['Node', 'nodeValue', 'set', -2, -1, 0],
                       ['Node', 'textContent', 'set', -2, -1, 0]];

  function boundAttributes(w) {
    for (var i = 0; i < attributeWays.length; i++) {
      (function (way) {
        var kind = w[way[0]];
        replace(kind && kind.prototype, way[1], way[2], function (original) {
          return function () {
            var given = listOf(arguments), element = this, attribute = null;
            // A name is read once, here, as the engine would read it.
            if (way[4] >= 0 && given.length > way[4]) given[way[4]] = toText(given[way[4]]);
            if (way[3] === -2) {
              // Only an attribute has an owner; any other node goes as it is.
              try { if (apply(nodeType, this, []) !== 2) return apply(original, this, given); } catch (e) {}
              attribute = this;
              element = apply(attributeOwner, this, []);
            } else if (way[4] === -1) {
              attribute = given[0];
            }
            if (way[4] === -1 && way[5] === -1) {
              // A whole attribute: its own name and value.
              try { boundAttribute(element, apply(attributeName, attribute, []), apply(attributeValue, attribute, [])); }
              catch (e) { if (e instanceof Failure) throw e; }
            } else if (given.length > way[5] && given[way[5]] !== null) {
              var name = way[4] === -1 ? apply(attributeName, attribute, []) : given[way[4]];
              given[way[5]] = boundAttribute(element, name, given[way[5]]);
            }
            return apply(original, this, given);
          };
        });
      })(attributeWays[i]);
    }
    // A frame element's own properties for its address.
    var own = [['HTMLIFrameElement', 'src'], ['HTMLFrameElement', 'src'], ['HTMLObjectElement', 'data'],
               ['HTMLEmbedElement', 'src']];
    for (var o = 0; o < own.length; o++) {
      (function (name) {
        var kind = w[own[o][0]];
        replace(kind && kind.prototype, name, 'set', function (original) {
          return function (value) { return apply(original, this, [boundAttribute(this, name, value)]); };
        });
      })(own[o][1]);
    }
  }

  // The frames of the page now, in every window of it that can be reached,
  // up to a little past MaxFrames.
  function framesOfPage() {
    var windows = [apply(windowTop, window, [])], count = 0;
    for (var i = 0; i < windows.length && count <= MaxFrames; i++) {
      var n = 0;
      try { n = apply(frameCount, windows[i], []); } catch (e) {}
      count += n;
      for (var k = 0; k < n && count <= MaxFrames; k++) {
        try { add(windows, windows[i][k]); } catch (e) {}
      }
    }
    return count;
  }

  // The engine keeps something of every frame of a page for as long as the
  // frame lives (a few hundred kilobytes), and up to a thousand frames: a
  // page may hold MaxFrames at once. Putting in `more` frames past that
  // throws.
  function boundFrameCount(more) {
    if (more > 0 && framesOfPage() + more > MaxFrames)
      throw new Failure('A page may hold at most ' + MaxFrames + ' frames', 'QuotaExceededError');
  }

  // Markup that would make a frame named or addressed longer than a page
  // may keep, or more frames than a page may hold, is refused before it is
  // read where it would be live: it is read apart first, when it holds a
  // frame's start tag. Gives back what is to be read: `text` as a string,
  // read once, or as it came when it is null or undefined, which hold no
  // markup.
  function boundMarkup(text) {
    if (text === null || text === undefined) return text;
    text = toText(text);
    if (!apply(testPattern, frameTag, [text])) return text;
    var holder = apply(createElement, apart, ['template']);
    apply(markupInto, holder, [text]);
    var frames = apply(fragmentQueryAll, apply(templateContent, holder, []), [frameElements]);
    for (var i = 0; frames[i]; i++) boundFrame(frames[i]);
    boundFrameCount(i);
    return text;
  }

  // The script elements among `nodes`, below them and in the shadow trees
  // they hold, when a frame element is among them or below them; none
  // otherwise. (A frame inside a shadow tree is reached only through its
  // element, which gives out its window made safe.) A frame among them named
  // or addressed longer than a page may keep is refused.
  function scriptsBesideFrames(nodes) {
    var frame = false, scopes = [], scripts = [], made = 0, i, k, type;
    for (i = 0; i < nodes.length; i++) {
      var node = nodes[i];
      if (!node || typeof node !== 'object') continue;
      try { type = apply(nodeType, node, []); } catch (e) { continue; }
      if (type === 1)
        frame = apply(matches, node, [frameElements]) || !!apply(elementQuery, node, [frameElements]) || frame;
      else if (type === 11)
        frame = !!apply(fragmentQuery, node, [frameElements]) || frame;
      else
        continue;
      add(scopes, node);
    }
    if (!frame) return null;
    // The scopes grow by the shadow trees found in them.
    for (i = 0; i < scopes.length; i++) {
      var scope = scopes[i], element = apply(nodeType, scope, []) === 1;
      var queryAll = element ? elementQueryAll : fragmentQueryAll;
      if (element && apply(matches, scope, ['script'])) add(scripts, scope);
      if (element && apply(matches, scope, [frameElements])) { boundFrame(scope); made++; }
      var frames = apply(queryAll, scope, [frameElements]);
      for (k = 0; frames[k]; k++) { boundFrame(frames[k]); made++; }
      var found = apply(queryAll, scope, ['script']);
      for (k = 0; found[k]; k++) add(scripts, found[k]);
      var hosts = apply(queryAll, scope, ['*']), root = element ? apply(mapGet, shadows, [scope]) : null;
      if (root) add(scopes, root);
      for (k = 0; hosts[k]; k++) {
        root = apply(mapGet, shadows, [hosts[k]]);
        if (root) add(scopes, root);
      }
    }
    boundFrameCount(made);
    return scripts.length ? scripts : null;
  }

  // Calls `original` to put `nodes` (the arguments at `first` and after; only
  // the one at `first` when `one`) into a document; a script made by script
  // among them runs once the frames among them are safe: it stands aside
  // while they go in, and takes its place after.
  function insertSafely(original, self, args, first, one) {
    var nodes = [], i;
    for (i = first; i < args.length && (!one || i === first); i++) add(nodes, args[i]);
    var scripts = scriptsBesideFrames(nodes);
    if (!scripts) return apply(original, self, args);
    var marks = [], given = listOf(args);
    for (i = 0; i < scripts.length; i++) {
      var mark = apply(createTextNode, ownDocument, ['']);
      var parent = apply(parentNode, scripts[i], []);
      if (parent) apply(replaceChild, parent, [mark, scripts[i]]);
      for (var k = first; k < given.length; k++) if (given[k] === scripts[i]) given[k] = mark;
      add(marks, mark);
    }
    var result, failure = null;
    try { result = apply(original, self, given); } catch (e) { failure = e; }
    for (i = 0; i < marks.length; i++) {
      var at = apply(parentNode, marks[i], []);
      if (at) apply(replaceChild, at, [scripts[i], marks[i]]);
    }
    if (failure) throw failure;
    return result;
  }

  // Writes into a document a tag at a time: a frame the parser makes is safe
  // before the parser reaches a script after it. The parser reads the
  // pieces as it would the whole.
  function writeSafely(document, text) {
    boundMarkup(text);
    var start = 0;
    for (;;) {
      var next = apply(indexOf, text, ['<', start + 1]);
      apply(nativeWrite, document, [next < 0 ? apply(slice, text, [start]) : apply(slice, text, [start, next])]);
      watchAgain(document);
      if (next < 0) return;
      start = next;
    }
  }

  // What the page reaches of a window through its frame elements, and by
  // what it adds to its documents, goes through this script first.
  function guardWindow(w) {
    var kinds = ['HTMLIFrameElement', 'HTMLFrameElement', 'HTMLObjectElement', 'HTMLEmbedElement'];
    for (var k = 0; k < kinds.length; k++) {
      var kind = w[kinds[k]], prototype = kind && kind.prototype;
      replace(prototype, 'contentWindow', 'get', function (original) {
        return function () { var v = apply(original, this, []); sealWindow(v, false); return v; };
      });
      replace(prototype, 'contentDocument', 'get', function (original) {
        return function () { var d = apply(original, this, []); sealWindow(viewOf(d), false); return d; };
      });
      replace(prototype, 'getSVGDocument', 'value', function (original) {
        return function () { var d = apply(original, this, arguments); sealWindow(viewOf(d), false); return d; };
      });
    }
    // A frame's window found by its name.
    var openers = [w, w.Window && w.Window.prototype];
    for (var o = 0; o < openers.length; o++) {
      replace(openers[o], 'open', 'value', function (original) {
        return function () { var v = apply(original, this, arguments); sealWindow(v, false); return v; };
      });
    }
    var documentPrototype = w.Document && w.Document.prototype;
    replace(documentPrototype, 'open', 'value', function (original) {
      return function () {
        var result = apply(original, this, arguments);
        watchAgain(this);
        if (result && result !== this) sealWindow(result, false);
        return result;
      };
    });
    replace(documentPrototype, 'write', 'value', function () {
      return function () {
        var text = '';
        for (var i = 0; i < arguments.length; i++) text += toText(arguments[i]);
        writeSafely(this, text);
      };
    });
    replace(documentPrototype, 'writeln', 'value', function () {
      return function () {
        var text = '';
        for (var i = 0; i < arguments.length; i++) text += toText(arguments[i]);
        writeSafely(this, text + '\n');
      };
    });
    // Markup put in where it is live.
    var markups = [['Element', 'innerHTML', 'set', 0], ['Element', 'outerHTML', 'set', 0],
                   ['Element', 'insertAdjacentHTML', 'value', 1], ['ShadowRoot', 'innerHTML', 'set', 0],
                   ['Document', 'execCommand', 'value', 2]];
    for (var m = 0; m < markups.length; m++) {
      (function (at) {
        replace(w[markups[m][0]] && w[markups[m][0]].prototype, markups[m][1], markups[m][2], function (original) {
          return function () {
            var given = listOf(arguments);
            if (given.length > at) given[at] = boundMarkup(given[at]);
            return apply(original, this, given);
          };
        });
      })(markups[m][3]);
    }
    replace(w.Element && w.Element.prototype, 'attachShadow', 'value', function (original) {
      return function () {
        var root = apply(original, this, arguments);
        apply(mapSet, shadows, [this, root]);
        apply(addEventListener, root, ['click', refuseDownload, true]);
        return root;
      };
    });
    // Where the page puts nodes into a document by a call: for each
    // interface, the methods (or, as "set NAME", setters) that take them from
    // argument `first` on, or only that one argument when `one`.
    var puts = [
      ['Node', ['appendChild', 'insertBefore', 'replaceChild'], 0, true],
      ['Element', ['append', 'prepend', 'replaceChildren', 'before', 'after', 'replaceWith'], 0, false],
      ['Element', ['insertAdjacentElement'], 1, true],
      ['CharacterData', ['before', 'after', 'replaceWith'], 0, false],
      ['DocumentType', ['before', 'after', 'replaceWith'], 0, false],
      ['Document', ['append', 'prepend', 'replaceChildren'], 0, false],
      ['Document', ['set body'], 0, true],
      ['DocumentFragment', ['append', 'prepend', 'replaceChildren'], 0, false],
      ['Range', ['insertNode', 'surroundContents'], 0, true],
      ['HTMLSelectElement', ['add'], 0, true],
      ['HTMLOptionsCollection', ['add'], 0, true],
      ['HTMLTableElement', ['set caption', 'set tHead', 'set tFoot'], 0, true],
    ];
    for (var p = 0; p < puts.length; p++) {
      var owner = w[puts[p][0]], names = puts[p][1];
      for (var n = 0; n < names.length; n++) {
        var setter = apply(startsWith, names[n], ['set ']);
        (function (first, one) {
          replace(owner && owner.prototype, setter ? apply(slice, names[n], [4]) : names[n], setter ? 'set' : 'value',
                  function (original) {
                    return function () { return insertSafely(original, this, arguments, first, one); };
                  });
        })(puts[p][2], puts[p][3]);
      }
    }
  }

  sealWindow(window, true);
})();
