// The gateway's page: its state every two seconds from /status.json, and
// the two things a person may ask for. Every text goes in as text, never
// as markup: what an instrument or a client says cannot become the page.
"use strict";

const answers = new Map();     // "gpib0,9" -> what it answered to *IDN?
const boardNotes = new Map();  // board index -> how its last search went here
const searching = new Set();   // boards whose search runs
let lastState = "";
let state = null;

function el(tag, props, ...children) {
  const e = document.createElement(tag);
  Object.assign(e, props || {});
  for (const c of children) e.append(c);
  return e;
}

function row(list, term, value) {
  list.append(el("dt", {textContent: term}), el("dd", {textContent: value}));
}

// An action of the page: a POST with the page's own header, its JSON back.
async function post(path) {
  const reply = await fetch(path, {method: "POST", headers: {"X-TM-Page": "1"}, cache: "no-store"});
  let body = {};
  try { body = await reply.json(); } catch (e) { /* no JSON: the status says it */ }
  if (!reply.ok) throw new Error(body.error || `${reply.status} ${reply.statusText}`);
  return body;
}

async function search(board) {
  searching.add(board);
  boardNotes.set(board, "Looking for listeners…");
  render();
  try {
    await post(`/search?board=${board}`);
    boardNotes.delete(board);  // the gateway's own account of it shows now
  } catch (e) {
    boardNotes.set(board, `Search failed: ${e.message}`);
  }
  searching.delete(board);
  await refresh();
}

async function identify(board, instrument) {
  answers.set(instrument.link, "asking…");
  render();
  try {
    const a = await post(`/identify?board=${board}&pad=${instrument.pad}&sad=${instrument.sad}`);
    answers.set(instrument.link, a.idn);
  } catch (e) {
    answers.set(instrument.link, `no answer: ${e.message}`);
  }
  render();
}

function renderGateway(g) {
  document.getElementById("title").textContent = g.name;
  document.title = g.name;
  document.getElementById("identity").textContent = g.idn;
  const list = document.getElementById("gateway");
  list.replaceChildren();
  row(list, "Version", g.version);
  row(list, "Addresses", g.addresses.join(", "));
  row(list, "VXI-11 core port", String(g.corePort));
  row(list, "Abort port", String(g.abortPort));
  row(list, "Portmapper", g.portmapper);
  row(list, "This page", `port ${g.httpPort}`);
  row(list, "Clients served", g.allow);
  row(list, "DNS-SD", g.announcement);
}

function renderBoard(b) {
  const box = el("article", {className: "board", id: `board-${b.index}`});
  box.append(el("h3", {textContent: `${b.name} (${b.link})`}));
  box.append(el("p", {className: "description", textContent: b.description}));
  box.append(el("p", {className: b.open ? "open" : "closed",
                      textContent: b.open ? "Open" : `Not open: ${b.problem || "not used yet"}`}));
  const button = el("button", {type: "button", className: "search", textContent: "Find listeners",
                               disabled: searching.has(b.index)});
  button.dataset.board = b.index;
  button.addEventListener("click", () => search(b.index));
  box.append(button);
  let when = "Not searched yet.";
  if (b.searchedAt)
    when = `Last search ${new Date(b.searchedAt * 1000).toLocaleTimeString()}: ` +
           (b.searchProblem ? b.searchProblem : `${b.instruments.length} found.`);
  box.append(el("p", {className: "searched", textContent: boardNotes.get(b.index) || when}));
  const list = el("ul", {className: "instruments"});
  for (const i of b.instruments) {
    const ask = el("button", {type: "button", className: "instrument", textContent: i.link,
                              title: `Ask ${i.link} *IDN?`});
    ask.dataset.link = i.link;
    ask.addEventListener("click", () => identify(b.index, i));
    const said = el("span", {className: "answer", textContent: answers.get(i.link) || ""});
    said.dataset.link = i.link;
    list.append(el("li", {}, ask, said));
  }
  box.append(list);
  return box;
}

function renderClients(clients) {
  const body = document.querySelector("#clients tbody");
  body.replaceChildren();
  if (!clients.length)
    body.append(el("tr", {}, el("td", {colSpan: 4, textContent: "No client is connected."})));
  for (const c of clients) {
    const links = c.links.map(l => `link ${l.lid}: ${l.target}${l.locked ? " (locked)" : ""}`);
    body.append(el("tr", {}, el("td", {textContent: String(c.connection)}),
                   el("td", {textContent: c.peer}), el("td", {textContent: c.channel}),
                   el("td", {textContent: links.join("; ") || "none"})));
  }
}

function renderCounts(calls, refused) {
  const list = document.getElementById("counts");
  list.replaceChildren();
  const total = calls.reduce((sum, c) => sum + c.count, 0);
  row(list, "Calls", total ? calls.map(c => `${c.name} ${c.count}`).join(", ") : "none yet");
  row(list, "Refused: not in the allowed networks", String(refused.notAllowed));
  row(list, "Refused: too many connections", String(refused.full));
  row(list, "Refused by this page", String(refused.page));
}

function render() {
  if (!state)
    return;
  renderGateway(state.gateway);
  document.getElementById("boards").replaceChildren(...state.boards.map(renderBoard));
  renderClients(state.clients);
  renderCounts(state.calls, state.refused);
}

async function refresh() {
  try {
    const reply = await fetch("/status.json", {cache: "no-store"});
    const text = await reply.text();
    if (!reply.ok) throw new Error(`${reply.status} ${reply.statusText}`);
    document.getElementById("updated").textContent =
        `Updated ${new Date().toLocaleTimeString()}`;
    // Drawn again only when something changed, so that a button keeps its
    // focus between looks.
    if (text !== lastState) {
      lastState = text;
      state = JSON.parse(text);
      render();
    }
  } catch (e) {
    document.getElementById("updated").textContent = `The gateway does not answer: ${e.message}`;
  }
}

refresh();
setInterval(refresh, 2000);
