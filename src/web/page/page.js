"use strict";
// The access page's script: uploads that go on by themselves after a lost connection or a
// reload, the offered list, a text each way. Every text a peer or a file name brings is set
// as text, never as markup.
const T = JSON.parse(document.getElementById("texts").textContent);
const $ = id => document.getElementById(id);
const TEXT_LIMIT = 65536;
const UNITS = ["B", "kB", "mB", "gB", "tB", "pB"];
const UPLOAD_WORDS = ["saved", "no-room", "refused", "busy", "bad-name", "name-too-long", "stopped",
  "no-store", "not-saved"];
const TEXT_WORDS = ["shown", "refused", "too-long", "bad-text", "busy"];
const plural = new Intl.PluralRules(document.documentElement.lang);
const storeKey = "uploads:" + location.pathname;

function fill(text, values) {
  return text.replace(/\{(\w+)\}/g, (whole, key) => (key in values ? String(values[key]) : whole));
}

// The program's own size text: truncated (never rounded up) to hundredths, trailing zeros
// dropped, units 1024 apart, the page language's decimal separator; a no-break space
// keeps the number with its unit.
function size(bytes) {
  if (!(bytes > 0)) return "0\u00a0B";
  let unit = 0;
  while (unit < UNITS.length - 1 && bytes >= Math.pow(1024, unit + 1)) unit++;
  const value = Math.floor(bytes / Math.pow(1024, unit) * 100) / 100;
  const text = value.toFixed(2).replace(/0{1,2}$/, "").replace(/\.$/, "");
  return text.replace(".", T.decimal) + "\u00a0" + UNITS[unit];
}

function files(count) {
  return fill(T["files-" + plural.select(count)] || T["files-other"], {n: count}).replace(" ", "\u00a0");
}

function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

// ---- uploads, a few at a time, each resumable where the computer takes it
// A few uploads in flight keep the computer busy without a gap between files; a browser
// opens six connections to one host, and one stays free for the list and the texts.
const IN_FLIGHT = 5;
// A file up to this size goes in the request that creates its upload; a larger one is
// created first, so that its address is known (and kept) before its bytes go.
const SMALL = 1 << 20;
// A request that moves nothing for this long (a connection a network change left hanging)
// is given up and tried again: longer than the computer waits for its user's answer
// about an upload (30 s).
const STALL = 45000;
const FOLD = 10;  // rows the upload list shows before it folds into one line
const TUS = {"Tus-Resumable": "1.0.0"};
// Refusals of a full table of unfinished uploads before a file goes in one plain upload.
const TABLE_FULL_TRIES = 3;
const placePrefix = "upload-at:" + location.pathname + ":";
const order = new Intl.Collator(document.documentElement.lang, {numeric: true}).compare;
const queue = [];
const active = new Set();
const sleeping = new Set();  // wakes of the uploads that wait to try again
let kept = 0;                // results stored so far, each under a key of its own
let total = 0;               // bytes saved, in flight and waiting: what is still to come counts
let saved = 0;
let good = 0, goodBytes = 0, bad = 0;
let rowCount = 0;
let drawing = 0;
let resumable = null;        // a promise: whether the computer takes resumable uploads

function loadResults() {
  const found = [];
  try {
    const n = parseInt(sessionStorage.getItem(storeKey + "#n"), 10) || 0;
    for (let i = 0; i < n; i++) {
      const r = JSON.parse(sessionStorage.getItem(storeKey + "#" + i) || "null");
      if (r && typeof r.name === "string" && typeof r.word === "string") found.push(Object.assign(r, {size: Number(r.size) || 0}));
    }
  } catch {
    /* storage off, or something else wrote there */
  }
  return found;
}

// One key per result: a long list is never written out again for each file.
function keepResult(r) {
  try {
    sessionStorage.setItem(storeKey + "#" + kept, JSON.stringify(r));
    sessionStorage.setItem(storeKey + "#n", String(++kept));
  } catch { /* storage full or off */ }
}

function showOverall() {
  let moving = 0;
  for (const item of active) moving += item.sent;
  $("overall").hidden = total === 0;
  $("overallBar").value = total ? Math.min(1, (saved + moving) / total) : 0;
  $("overallText").textContent = size(saved + moving) + " / " + size(total);
  $("cancelAll").hidden = !active.size && !queue.length;
}

function showSummary() {
  if (!good && !bad) return;
  let line = fill(T.summary, {files: files(good), size: size(goodBytes)});
  if (bad) line += "; " + fill(T["summary-failed"], {files: files(bad)});
  $("summary").textContent = line;
}

// Progress is drawn once a frame, however many uploads move.
function draw() {
  drawing = 0;
  for (const item of active) item.bar.value = item.file.size ? item.sent / item.file.size : 0;
  showOverall();
  showSummary();
  const rows = $("uploads").childElementCount;
  $("foldLine").textContent = fill(T["upload-list"], {files: files(rows)});
  if (rows > FOLD && $("foldLine").hidden) {
    $("foldLine").hidden = false;
    $("fold").open = false;
  }
}

function redraw() {
  if (!drawing) drawing = requestAnimationFrame(draw);
}

function uploadRow(name) {
  const li = el("li"), row = el("div", "row item"), label = el("span", "", name);
  label.id = "upload" + ++rowCount;
  const state = el("span", "state", T.waiting);
  row.append(label, state);
  li.append(row);
  return {li, row, label, state};
}

function showWord(item, word) {
  item.state.textContent = T[word];
  item.state.className = "state " + (word === "saved" ? "good" : "bad");
}

function add(found) {
  const rows = document.createDocumentFragment();
  for (const {file, name} of found.sort((a, b) => order(a.name, b.name))) {
    const item = Object.assign(uploadRow(name), {file, name, sent: 0});
    item.bar = el("progress");
    item.bar.max = 1;
    item.bar.value = 0;
    item.bar.setAttribute("aria-labelledby", item.label.id);
    item.cancel = el("button", "quiet small", T.cancel);
    item.cancel.type = "button";
    item.cancel.setAttribute("aria-label", fill(T["cancel-name"], {name}));
    item.cancel.addEventListener("click", () => cancel(item));
    item.row.append(item.cancel);
    item.li.append(item.bar);
    rows.append(item.li);
    queue.push(item);
    total += file.size;
  }
  $("uploads").append(rows);
  redraw();
  pump();
}

function pump() {
  while (active.size < IN_FLIGHT && queue.length) {
    const item = queue.shift();
    active.add(item);
    run(item);
  }
}

function finish(item, word) {
  active.delete(item);
  showWord(item, word);
  if (word === "saved") {
    item.bar.value = 1;
    saved += item.file.size;
    good++;
    goodBytes += item.file.size;
  } else {
    total -= item.file.size;  // what will not come leaves the whole
    bad++;
  }
  const focused = document.activeElement === item.cancel;
  item.cancel.remove();
  keepResult({name: item.name, size: item.file.size, word});
  showOverall();
  redraw();
  // The keyboard's place is not lost with the button that had it.
  if (focused) ($("cancelAll").hidden ? $("chooseFiles") : $("cancelAll")).focus();
  pump();
}

function cancel(item) {
  item.cancelled = true;
  if (active.has(item)) {
    if (item.xhr) item.xhr.abort();
    if (item.wake) item.wake();
    return;
  }
  const at = queue.indexOf(item);
  if (at >= 0) {
    queue.splice(at, 1);
    finish(item, "cancelled");
  }
}

function cancelAll() {
  for (const item of queue.slice()) cancel(item);
  for (const item of Array.from(active)) cancel(item);
}

// One request of an upload. Resolves {status, word, header}; status 0 when the connection
// was lost, stalled or cancelled. item.sent follows the bytes of the file sent so far.
function request(item, method, target, headers, body) {
  return new Promise(resolve => {
    const x = new XMLHttpRequest();
    const from = item.sent;
    let timer = 0;
    const alive = () => {
      clearTimeout(timer);
      timer = setTimeout(() => x.abort(), STALL);
    };
    const end = status => {
      clearTimeout(timer);
      item.xhr = null;
      resolve({status, word: status ? x.responseText.trim() : "", header: name => x.getResponseHeader(name),
        retry: parseInt(x.getResponseHeader("Retry-After"), 10), base: x.responseURL});
    };
    item.xhr = x;
    x.open(method, target);
    for (const key of Object.keys(headers)) x.setRequestHeader(key, headers[key]);
    x.upload.onprogress = e => {
      alive();
      item.sent = from + e.loaded;
      redraw();
    };
    x.onprogress = alive;
    x.onload = () => end(x.status);
    x.onerror = x.onabort = () => end(0);
    alive();
    x.send(body);
  });
}

// Asked once for all uploads; asked again after a lost connection.
function takesResumable() {
  if (!resumable) {
    resumable = fetch("uploads/", {method: "OPTIONS", headers: TUS}).then(
      r => r.ok && (r.headers.get("Tus-Version") || "").split(",").includes("1.0.0"),
      lost => {
        resumable = null;
        throw lost;
      });
  }
  return resumable;
}

// Where an upload of this file was left: its address, kept across a reload.
function placeKey(item) {
  return placePrefix + JSON.stringify([item.name, item.file.size, item.file.lastModified]);
}

function place(item, address) {
  try {
    if (address === undefined) return localStorage.getItem(placeKey(item));
    if (address) localStorage.setItem(placeKey(item), address);
    else localStorage.removeItem(placeKey(item));
  } catch { /* storage full or off: the upload starts again from its first byte */ }
  return null;
}

// The addresses of uploads to an earlier access address lead nowhere.
function forgetOtherPlaces() {
  try {
    for (let i = localStorage.length - 1; i >= 0; i--) {
      const key = localStorage.key(i);
      if (key.startsWith("upload-at:") && !key.startsWith(placePrefix)) localStorage.removeItem(key);
    }
  } catch { /* storage off */ }
}

function metadata(name) {
  let bytes = "";
  for (const b of encoder.encode(name)) bytes += String.fromCharCode(b);
  return "filename " + btoa(bytes);
}

function offsetOf(reply) {
  const text = reply.header("Upload-Offset") || "";
  return /^\d{1,15}$/.test(text) ? Number(text) : -1;
}

// The upload's offset on the computer: -1 when it has none (any more), null when that is
// not known now (the connection was lost, or a piece of it still arrives).
async function offsetAt(item, address) {
  const r = await request(item, "HEAD", address, TUS);
  if (!r.status || r.status === 503) return null;
  return r.status === 200 || r.status === 204 ? offsetOf(r) : -1;
}

async function create(item) {
  const file = item.file, small = file.size <= SMALL;
  const headers = Object.assign({"Upload-Length": String(file.size), "Upload-Metadata": metadata(item.name)}, TUS);
  if (small) headers["Content-Type"] = "application/offset+octet-stream";
  item.sent = 0;
  const r = await request(item, "POST", "uploads/", headers, small ? file : null);
  const address = r.status === 201 && r.header("Location");
  if (!address) return {reply: r};
  item.address = new URL(address, r.base || location.href).href;
  if (!small) place(item, item.address);
  return {offset: small ? offsetOf(r) : 0};
}

// A resumable upload: continued where a lost connection or a reload left it, else created.
async function sendResumable(item) {
  const file = item.file;
  let offset = -1;
  item.address = place(item);
  if (item.address) {
    offset = await offsetAt(item, item.address);
    if (offset === null) return {status: 0};
    if (offset < 0 || offset > file.size) place(item, "");
  }
  if (offset < 0 || offset > file.size) {
    const made = await create(item);
    if (made.reply) return made.reply;
    offset = made.offset;
  }
  while (offset < file.size) {
    if (offset < 0) offset = await offsetAt(item, item.address);
    if (offset === null) return {status: 0};
    if (offset < 0) return {status: 500};  // the computer lost the upload it just made
    item.sent = offset;
    const r = await request(item, "PATCH", item.address,
      Object.assign({"Upload-Offset": String(offset), "Content-Type": "application/offset+octet-stream"}, TUS),
      file.slice(offset));
    if (r.status === 409) offset = await offsetAt(item, item.address);
    else if (r.status === 200 || r.status === 204) offset = offsetOf(r);
    else return r;
  }
  place(item, "");
  return {status: 201, word: "saved"};
}

function put(item) {
  item.sent = 0;
  return request(item, "PUT", "files?name=" + encodeURIComponent(item.name), {}, item.file);
}

function pause(item, seconds) {
  return new Promise(wake => {
    const done = () => {
      sleeping.delete(done);
      clearTimeout(timer);
      wake();
    };
    const timer = setTimeout(done, Math.min(Math.max(seconds || 1, 1), 30) * 1000);
    item.wake = done;
    sleeping.add(done);
  });
}

// The network or the page is back: whatever waits to try again goes now.
function wakeAll() {
  for (const wake of Array.from(sleeping)) wake();
}

function wordOf(reply) {
  if (UPLOAD_WORDS.includes(reply.word)) return reply.word;
  if (reply.status === 201) return "saved";
  return "not-saved";
}

// An upload until it ends: a busy computer is asked again when it says, a lost connection
// (a cut network, a locked phone) after a back-off that grows to 30 s. A computer that
// holds too many unfinished uploads of this address (429) is asked again a few times, then
// gets the file in one plain upload: it cannot resume, but it arrives.
async function run(item) {
  let backOff = 1, tableFull = 0;
  for (;;) {
    item.state.textContent = T.sending;
    let reply;
    try {
      const resumableNow = tableFull < TABLE_FULL_TRIES && (await takesResumable());
      reply = await (resumableNow ? sendResumable(item) : put(item));
    } catch {
      reply = {status: 0};
    }
    if (item.cancelled) break;
    if (reply.status === 429) tableFull++;
    const busy = reply.status === 503 || reply.status === 429;
    if (reply.status && !busy) return finish(item, wordOf(reply));
    item.state.textContent = busy ? T.busy : T.retrying;
    await pause(item, busy ? reply.retry : backOff);
    backOff = busy ? 1 : Math.min(backOff * 2, 30);
    if (item.cancelled) break;
  }
  if (item.address) {
    place(item, "");
    fetch(item.address, {method: "DELETE", headers: TUS}).catch(() => {});
  }
  finish(item, "cancelled");
}

function restoreResults() {
  const rows = document.createDocumentFragment();
  const results = loadResults();
  kept = results.length;
  for (const r of results) {
    const item = uploadRow(r.name);
    showWord(item, T[r.word] ? r.word : "not-saved");
    rows.append(item.li);
    if (r.word === "saved") {
      good++;
      goodBytes += r.size;
      saved += r.size;
      total += r.size;
    } else {
      bad++;
    }
  }
  $("uploads").append(rows);
  draw();
}

// ---- a drop: files and whole folders, with their paths relative to what was dropped
function readAll(reader) {
  return new Promise((resolve, reject) => {
    const all = [];
    const more = () => reader.readEntries(batch => {
      if (!batch.length) return resolve(all);
      all.push(...batch);
      more();
    }, reject);
    more();
  });
}

async function walk(entry, prefix, found) {
  const name = prefix + entry.name;
  try {
    if (entry.isFile) found.push({file: await new Promise((ok, bad) => entry.file(ok, bad)), name});
    else if (entry.isDirectory) for (const child of await readAll(entry.createReader())) await walk(child, name + "/", found);
  } catch {
    /* gone or unreadable since the drop: left out */
  }
}

async function takeDrop(data) {
  if (!data) return;
  const entries = [], found = [];
  // The entries must be taken while the event runs; reading them may wait.
  for (const item of Array.from(data.items || [])) {
    if (item.kind !== "file") continue;
    const entry = item.webkitGetAsEntry ? item.webkitGetAsEntry() : null;
    const file = entry ? null : item.getAsFile();
    if (entry) entries.push(entry);
    else if (file) found.push({file, name: file.name});
  }
  if (!entries.length && !found.length) for (const file of Array.from(data.files || [])) found.push({file, name: file.name});
  for (const entry of entries) await walk(entry, "", found);
  if (found.length) add(found);
}

// ---- the offered list
function fileRow(file, shown) {
  const li = el("li", "row file"), a = el("a", "", shown);
  a.href = "files/" + encodeURIComponent(String(file.id));
  a.download = file.name.split("/").pop();
  li.dataset.name = file.name;
  li.append(a, el("span", "size", size(file.size)));
  return li;
}

function folderRow(name) {
  const li = el("li", "folder"), row = el("div", "row"), a = el("a", "", T["download-folder"]);
  a.href = "zip?folder=" + encodeURIComponent(name);
  a.setAttribute("aria-label", fill(T["download-folder-name"], {name}));
  row.append(el("span", "", name), a);
  const list = el("ul");
  li.append(row, list);
  return {li, list};
}

async function list() {
  let offered = [];
  try {
    const r = await fetch("files", {cache: "no-store"});
    if (r.ok) offered = await r.json();
  } catch {
    offered = [];
  }
  if (!Array.isArray(offered)) offered = [];
  offered = offered.filter(f => f && typeof f.name === "string" && f.name)
    .sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
  const ul = $("offered");
  ul.replaceChildren();
  $("downloadAll").hidden = !offered.length;
  $("filterBox").hidden = offered.length <= 10;
  if (!offered.length) ul.append(el("li", "state", T.nothing));
  let group = null;
  for (const file of offered) {
    const cut = file.name.indexOf("/");
    if (cut < 0) {
      group = null;
      ul.append(fileRow(file, file.name));
      continue;
    }
    const folder = file.name.slice(0, cut);
    if (!group || group.name !== folder) {
      group = Object.assign(folderRow(folder), {name: folder});
      ul.append(group.li);
    }
    group.list.append(fileRow(file, file.name.slice(cut + 1)));
  }
  applyFilter();
}

function applyFilter() {
  const wanted = $("filterBox").hidden ? "" : $("filter").value.trim().toLowerCase();
  for (const li of $("offered").querySelectorAll("li.file")) li.hidden = !li.dataset.name.toLowerCase().includes(wanted);
  for (const li of $("offered").querySelectorAll("li.folder")) li.hidden = !li.querySelector("li.file:not([hidden])");
  const none = wanted && !$("offered").querySelector("li.file:not([hidden])");
  $("noMatch").hidden = !none;
  $("noMatch").textContent = none ? fill(T["no-match"], {filter: $("filter").value.trim()}) : "";
}

// ---- text both ways
const encoder = new TextEncoder();

function textBytes() {
  return encoder.encode($("textOut").value).length;
}

function countText() {
  const n = textBytes();
  $("textCount").textContent = fill(T["text-count"], {n, limit: TEXT_LIMIT});
  $("textCount").className = n > TEXT_LIMIT ? "bad" : "state";
  // The warning goes once the text fits again.
  if (n <= TEXT_LIMIT && $("textResult").dataset.over) showTextResult("", false);
}

function showTextResult(key, good) {
  $("textResult").textContent = key ? T[key] : "";
  $("textResult").className = good ? "good" : "bad";
  delete $("textResult").dataset.over;
}

async function sendText() {
  const text = $("textOut").value;
  if (!text) return;
  if (textBytes() > TEXT_LIMIT) {
    $("textResult").textContent = fill(T["text-over"], {limit: TEXT_LIMIT});
    $("textResult").className = "bad";
    $("textResult").dataset.over = "1";
    return;
  }
  showTextResult("text-sending", false);
  $("textResult").className = "";
  let word = "failed";
  try {
    const r = await fetch("text", {method: "POST", body: text, headers: {"Content-Type": "text/plain; charset=utf-8"}});
    const said = (await r.text()).trim();
    word = TEXT_WORDS.includes(said) ? said : r.status === 201 ? "shown" : "failed";
  } catch {
    word = "failed";
  }
  showTextResult("text-" + word, word === "shown");
}

async function theirText() {
  let text = "";
  try {
    const r = await fetch("text", {cache: "no-store"});
    if (r.status === 200) text = await r.text();
  } catch {
    text = "";
  }
  $("textIn").value = text;
  $("theirText").hidden = !text;
}

// A page on plain HTTP has no navigator.clipboard: the text is selected and copied as a
// user's Ctrl+C would.
async function copy() {
  const box = $("textIn");
  let done = false;
  if (navigator.clipboard && window.isSecureContext) {
    try {
      await navigator.clipboard.writeText(box.value);
      done = true;
    } catch {
      done = false;
    }
  }
  if (!done) {
    box.focus();
    box.select();
    try { done = document.execCommand("copy"); } catch { done = false; }
    $("copy").focus();
  }
  $("copyState").textContent = done ? T.copied : T["copy-failed"];
}

function refresh() {
  list();
  theirText();
}

// ---- wiring
for (const e of document.querySelectorAll("[data-t]")) e.textContent = T[e.dataset.t];
$("chooseFiles").addEventListener("click", () => $("pickFiles").click());
$("chooseFolder").addEventListener("click", () => $("pickFolder").click());
for (const id of ["pickFiles", "pickFolder"]) {
  $(id).addEventListener("change", e => {
    add(Array.from(e.target.files, file => ({file, name: file.webkitRelativePath || file.name})));
    e.target.value = "";
  });
}
$("cancelAll").addEventListener("click", cancelAll);
$("refresh").addEventListener("click", refresh);
$("filter").addEventListener("input", applyFilter);
$("textOut").addEventListener("input", countText);
$("sendText").addEventListener("click", sendText);
$("copy").addEventListener("click", copy);
// A drop anywhere on the page is taken; none ever navigates away from it.
window.addEventListener("dragover", e => {
  e.preventDefault();
  if (e.dataTransfer) e.dataTransfer.dropEffect = "copy";
  $("drop").classList.add("over");
});
window.addEventListener("dragleave", e => {
  if (!e.relatedTarget) $("drop").classList.remove("over");
});
window.addEventListener("drop", e => {
  e.preventDefault();
  $("drop").classList.remove("over");
  takeDrop(e.dataTransfer);
});
// A cut connection is tried again at once when the network or the page comes back, and
// leaving the page while uploads run asks first.
window.addEventListener("online", wakeAll);
document.addEventListener("visibilitychange", () => {
  if (document.visibilityState === "visible") wakeAll();
});
window.addEventListener("beforeunload", e => {
  if (!active.size && !queue.length) return;
  e.preventDefault();
  e.returnValue = "";
});
forgetOtherPlaces();
countText();
restoreResults();
refresh();
