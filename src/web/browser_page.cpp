#include "web/browser_page.h"

#include <utility>

#include "web/offered_files.h"

namespace {
// The page's texts, in the order of kKeys.
const char* const kKeys[] = {"send", "choose", "drop", "all", "get", "nothing", "refresh", "sending",
                             "waiting", "saved", "no-room", "refused", "busy", "bad-name", "stopped",
                             "no-store", "not-saved", "failed", "name-too-long"};
const char* const kEnglish[] = {
    "Send to this computer", "Choose files", "or drop them here", "All files", "Get from this computer",
    "Nothing is offered right now.", "Refresh", "sending", "waiting", "saved", "refused: not enough space",
    "refused by the computer", "waiting: the computer is busy", "refused: name not allowed",
    "stopped on the computer", "refused: no store folder", "not saved", "failed: connection lost",
    "refused: the name is too long for this computer"};
const char* const kSpanish[] = {
    "Enviar a este equipo", "Elegir archivos", "o suéltelos aquí", "Todos los archivos", "Obtener de este equipo",
    "Ahora no se ofrece nada.", "Actualizar", "enviando", "en espera", "guardado",
    "rechazado: no hay espacio suficiente", "rechazado por el equipo", "en espera: el equipo está ocupado",
    "rechazado: nombre no permitido", "detenido en el equipo", "rechazado: no hay carpeta de destino",
    "no guardado", "error: se perdió la conexión", "rechazado: el nombre es demasiado largo para este equipo"};
const char* const kRussian[] = {
    "Отправить на этот компьютер", "Выбрать файлы", "или перетащите их сюда", "Все файлы",
    "Получить с этого компьютера", "Сейчас ничего не предлагается.", "Обновить", "отправка", "ожидание",
    "сохранён", "отклонён: недостаточно места", "отклонён компьютером", "ожидание: компьютер занят",
    "отклонён: недопустимое имя", "остановлен на компьютере", "отклонён: не выбрана папка для приёма",
    "не сохранён", "ошибка: соединение потеряно", "отклонён: имя слишком длинное для этого компьютера"};
static_assert(sizeof kKeys == sizeof kEnglish && sizeof kKeys == sizeof kSpanish &&
              sizeof kKeys == sizeof kRussian, "every language has every text");

const char kPage[] = R"PAGE(<!DOCTYPE html>
<html lang="{{LANG}}"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Quorvalinthexa</title>
<style nonce="{{NONCE}}">
*{box-sizing:border-box}
body{margin:0;font:16px/1.4 system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;background:#f3f4f6;color:#111}
main{max-width:44rem;margin:0 auto;padding:1rem}
h1{font-size:1.3rem;margin:.2rem 0 1rem}
section{background:#fff;border-radius:.6rem;padding:1rem;margin-bottom:1rem;box-shadow:0 1px 3px #0002}
h2{font-size:1.1rem;margin:0 0 .8rem}
#drop{border:2px dashed #9ca3af;border-radius:.5rem;padding:1.2rem;text-align:center}
#overall{margin-top:.8rem}
.row h2{margin:0}
#drop.over{border-color:#2563eb;background:#eff6ff}
button,label.button{display:inline-block;font:inherit;padding:.6rem 1.1rem;border:0;border-radius:.4rem;background:#2563eb;color:#fff;cursor:pointer}
button.quiet{background:#e5e7eb;color:#111}
input[type=file]{display:none}
ul{list-style:none;margin:0;padding:0}
li{padding:.5rem 0;border-top:1px solid #eee;word-break:break-word}
li:first-child{border-top:0}
progress{width:100%;height:.7rem}
.row{display:flex;justify-content:space-between;align-items:center;gap:.8rem}
.size,.state{color:#555;white-space:nowrap}
.bad{color:#b91c1c}.good{color:#15803d}
a{color:#1d4ed8}
</style></head><body><main>
<h1>Quorvalinthexa</h1>
<section><h2 data-t="send"></h2>
<div id="drop"><label class="button" for="pick" data-t="choose"></label>
<input id="pick" type="file" multiple><div data-t="drop"></div></div>
<div id="overall" hidden><div class="row"><span data-t="all"></span><span id="overallText" class="state"></span></div>
<progress id="overallBar" max="1" value="0"></progress></div>
<ul id="uploads"></ul></section>
<section><div class="row"><h2 data-t="get"></h2><button class="quiet" id="refresh" data-t="refresh"></button></div>
<ul id="offered"></ul></section>
</main><script nonce="{{NONCE}}">
"use strict";
const T = {{TEXTS}};
for (const e of document.querySelectorAll("[data-t]")) e.textContent = T[e.dataset.t];
function size(n) {
  const u = ["B", "KB", "MB", "GB", "TB"]; let i = 0;
  while (n >= 1024 && i < u.length - 1) { n /= 1024; i++; }
  return (i ? n.toFixed(1) : n) + "\u00a0" + u[i];
}
function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}
async function list() {
  const ul = document.getElementById("offered");
  let files = [];
  try { const r = await fetch("files", {cache: "no-store"}); if (r.ok) files = await r.json(); } catch (e) {}
  ul.replaceChildren();
  if (!files.length) ul.append(el("li", "state", T.nothing));
  files.forEach(f => {
    const li = el("li", "row"), a = el("a", "", f.name);
    a.href = "files/" + f.id;
    a.download = f.name.split("/").pop();
    li.append(a, el("span", "size", size(f.size)));
    ul.append(li);
  });
}
document.getElementById("refresh").onclick = list;
const queue = [];
let running = false, total = 0, done = 0;
function showOverall() {
  document.getElementById("overall").hidden = false;
  document.getElementById("overallBar").value = total ? done / total : 1;
  document.getElementById("overallText").textContent = size(done) + " / " + size(total);
}
function add(files) {
  for (const file of files) {
    const li = el("li"), row = el("div", "row"), bar = el("progress");
    const state = el("span", "state", T.waiting);
    bar.max = 1; bar.value = 0;
    row.append(el("span", "", file.name), state);
    li.append(row, bar);
    document.getElementById("uploads").append(li);
    queue.push({file, bar, state});
    total += file.size;
  }
  showOverall();
  if (!running) next();
}
function put(item) {
  return new Promise(resolve => {
    const x = new XMLHttpRequest();
    x.open("PUT", "files?name=" + encodeURIComponent(item.file.name));
    x.upload.onprogress = e => {
      item.sent = e.loaded; item.bar.value = item.file.size ? e.loaded / item.file.size : 0;
      document.getElementById("overallBar").value = total ? (done + e.loaded) / total : 1;
    };
    x.onload = () => resolve({status: x.status, word: x.responseText});
    x.onerror = () => resolve({status: 0, word: "failed"});
    x.send(item.file);
  });
}
async function next() {
  running = true;
  while (queue.length) {
    const item = queue.shift();
    item.state.textContent = T.sending;
    let r;
    for (;;) {
      r = await put(item);
      if (r.status !== 503) break;
      item.state.textContent = T.busy;
      await new Promise(w => setTimeout(w, 1000));
    }
    const word = T[r.word] ? r.word : (r.status === 201 ? "saved" : "not-saved");
    item.state.textContent = T[word];
    item.state.className = "state " + (word === "saved" ? "good" : "bad");
    item.bar.value = word === "saved" ? 1 : item.bar.value;
    done += item.file.size;
    showOverall();
  }
  running = false;
}
document.getElementById("pick").onchange = e => { add(e.target.files); e.target.value = ""; };
const drop = document.getElementById("drop");
drop.ondragover = e => { e.preventDefault(); drop.classList.add("over"); };
drop.ondragleave = () => drop.classList.remove("over");
drop.ondrop = e => { e.preventDefault(); drop.classList.remove("over"); add(e.dataTransfer.files); };
list();
</script></body></html>
)PAGE";

void replaceOnce(std::string& text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
}
}  // namespace

std::string browserPageHtml(const std::string& language, const std::string& nonce) {
    const char* const* texts = language == "es" ? kSpanish : language == "ru" ? kRussian : kEnglish;
    std::string json = "{";
    for (size_t i = 0; i < sizeof kKeys / sizeof kKeys[0]; ++i) {
        if (i) json += ",";
        json += jsonString(kKeys[i]) + ":" + jsonString(texts[i]);
    }
    json += "}";
    std::string page = kPage;
    replaceOnce(page, "{{LANG}}", language == "es" || language == "ru" ? language : "en");
    replaceOnce(page, "{{TEXTS}}", json);
    replaceOnce(page, "{{NONCE}}", nonce);
    replaceOnce(page, "{{NONCE}}", nonce);
    return page;
}

std::string browserPageSecurityPolicy(const std::string& nonce) {
    return "default-src 'none'; script-src 'nonce-" + nonce + "'; style-src 'nonce-" + nonce +
           "'; img-src data:; connect-src 'self'; form-action 'none'; frame-ancestors 'none'; base-uri 'none'";
}
