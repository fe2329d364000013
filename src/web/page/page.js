"use strict";
// The access page's script: uploads in turn, the offered list, a text each way. Every
// text a peer or a file name brings is set as text, never as markup.
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

// ---- uploads, one at a time
const queue = [];
let current = null;
let results = [];   // [{name, size, word}] of every finished upload, kept across a reload
let total = 0;
let saved = 0;
let rowCount = 0;

function loadResults() {
  try {
    const kept = JSON.parse(sessionStorage.getItem(storeKey) || "[]");
    return Array.isArray(kept) ? kept.filter(r => r && typeof r.name === "string") : [];
  } catch {
    return [];
  }
}

function keepResults() {
  try { sessionStorage.setItem(storeKey, JSON.stringify(results)); } catch { /* storage full or off */ }
}

function showOverall() {
  const moving = current ? current.sent : 0;
  $("overall").hidden = total === 0;
  $("overallBar").value = total ? Math.min(1, (saved + moving) / total) : 0;
  $("overallText").textContent = size(saved + moving) + " / " + size(total);
  $("cancelAll").hidden = !current && !queue.length;
}

function showSummary() {
  if (!results.length) return;
  const good = results.filter(r => r.word === "saved");
  let line = fill(T.summary, {files: files(good.length), size: size(good.reduce((n, r) => n + r.size, 0))});
  const bad = results.length - good.length;
  if (bad) line += "; " + fill(T["summary-failed"], {files: files(bad)});
  $("summary").textContent = line;
}

function uploadRow(name) {
  const li = el("li"), row = el("div", "row item"), label = el("span", "", name);
  label.id = "upload" + ++rowCount;
  const state = el("span", "state", T.waiting);
  row.append(label, state);
  li.append(row);
  $("uploads").append(li);
  return {li, row, label, state};
}

function showWord(item, word) {
  item.state.textContent = T[word];
  item.state.className = "state " + (word === "saved" ? "good" : "bad");
}

function add(found) {
  for (const {file, name} of found) {
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
    queue.push(item);
    total += file.size;
  }
  showOverall();
  if (!current) run();
}

function finish(item, word) {
  showWord(item, word);
  if (word === "saved") {
    item.bar.value = 1;
    saved += item.file.size;
  }
  const focused = document.activeElement === item.cancel;
  item.cancel.remove();
  results.push({name: item.name, size: item.file.size, word});
  keepResults();
  showSummary();
  showOverall();
  // The keyboard's place is not lost with the button that had it.
  if (focused) ($("cancelAll").hidden ? $("chooseFiles") : $("cancelAll")).focus();
}

function cancel(item) {
  item.cancelled = true;
  if (item === current) {
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
  if (current) cancel(current);
}

function put(item) {
  return new Promise(resolve => {
    const x = new XMLHttpRequest();
    item.xhr = x;
    x.open("PUT", "files?name=" + encodeURIComponent(item.name));
    x.upload.onprogress = e => {
      item.sent = e.loaded;
      item.bar.value = item.file.size ? e.loaded / item.file.size : 0;
      showOverall();
    };
    x.onload = () => resolve({status: x.status, word: x.responseText.trim(),
      retry: parseInt(x.getResponseHeader("Retry-After"), 10)});
    x.onerror = () => resolve({status: 0, word: "failed"});
    x.onabort = () => resolve({status: 0, word: "cancelled"});
    x.send(item.file);
  });
}

function pause(item, seconds) {
  const wait = Math.min(Math.max(seconds || 1, 1), 30) * 1000;
  return new Promise(wake => {
    item.wake = wake;
    setTimeout(wake, wait);
  });
}

function wordOf(reply) {
  if (UPLOAD_WORDS.includes(reply.word)) return reply.word;
  if (reply.status === 201) return "saved";
  return reply.status === 0 ? "failed" : "not-saved";
}

async function run() {
  while (queue.length) {
    const item = queue.shift();
    current = item;
    item.state.textContent = T.sending;
    let reply;
    for (;;) {
      reply = await put(item);
      if (reply.status !== 503 || item.cancelled) break;
      item.state.textContent = T.busy;
      item.sent = 0;
      await pause(item, reply.retry);
      if (item.cancelled) break;
      item.state.textContent = T.sending;
    }
    item.sent = 0;
    current = null;
    finish(item, item.cancelled ? "cancelled" : wordOf(reply));
  }
}

function restoreResults() {
  results = loadResults();
  for (const r of results) {
    const item = uploadRow(r.name);
    showWord(item, T[r.word] ? r.word : "not-saved");
    total += r.size;
    if (r.word === "saved") saved += r.size;
  }
  showSummary();
  showOverall();
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
}

function showTextResult(key, good) {
  $("textResult").textContent = T[key];
  $("textResult").className = good ? "good" : "bad";
}

async function sendText() {
  const text = $("textOut").value;
  if (!text) return;
  if (textBytes() > TEXT_LIMIT) {
    $("textResult").textContent = fill(T["text-over"], {limit: TEXT_LIMIT});
    $("textResult").className = "bad";
    return;
  }
  $("textResult").textContent = T["text-sending"];
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
countText();
restoreResults();
refresh();
