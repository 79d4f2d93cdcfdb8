// The operators' page: look up, create, edit and delete Coletas through the
// /v1 API of the server that serves this page. The token lives in this tab's
// session storage only.
'use strict';

const $ = (id) => document.getElementById(id);
const FIELDS = ['cliente_id', 'remetente_id', 'destinatario_id', 'volumes', 'peso_kg',
  'valor_declarado', 'embalagem'];
const PIECE_FIELDS = ['largura_m', 'altura_m', 'comprimento_m', 'volumes'];
const PIECE_LABELS = { largura_m: 'Largura (m)', altura_m: 'Altura (m)',
  comprimento_m: 'Comprimento (m)', volumes: 'Volumes' };

let shown = null;      // the Coleta on screen
let editingId = 0;     // 0: the form creates a new Coleta

function token() { return sessionStorage.getItem('z418kt-token') || ''; }

async function api(method, path, body) {
  const headers = { Authorization: 'Bearer ' + token() };
  const init = { method, headers };
  if (body !== undefined) {
    headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  let response;
  try {
    response = await fetch(path, init);
  } catch (e) {
    return { status: 0, body: { detail: 'Servidor inacessível.' } };
  }
  const text = await response.text();
  let parsed = null;
  try { parsed = text ? JSON.parse(text) : null; } catch (e) { parsed = { detail: text }; }
  if (response.status === 401) showTokenForm('Token recusado pelo servidor. Informe-o novamente.');
  return { status: response.status, body: parsed };
}

// ----- token -----

function showTokenForm(message) {
  $('form-token').hidden = false;
  $('token-ok').hidden = true;
  $('erro-token').textContent = message || '';
  $('token').focus();
}

function tokenAccepted() {
  $('form-token').hidden = true;
  $('token-ok').hidden = false;
  $('erro-token').textContent = '';
}

// ----- showing a Coleta -----

const text = (v) => (v === null || v === undefined ? '' : String(v));
const decimal = (v) => text(v).replace('.', ',');

function say(message) { $('mensagem').textContent = message; }

function showColeta(c) {
  shown = c;
  $('r-id').textContent = c.id;
  $('r-cliente').textContent = text(c.cliente_id) + (c.cliente ? ' — ' + c.cliente : '');
  $('r-remetente').textContent = text(c.remetente_id);
  $('r-destinatario').textContent = text(c.destinatario_id);
  $('r-volumes').textContent = text(c.volumes);
  $('r-peso').textContent = decimal(c.peso_kg);
  $('r-valor').textContent = decimal(c.valor_declarado);
  $('r-embalagem').textContent = text(c.embalagem);
  const body = $('r-pecas').tBodies[0];
  body.replaceChildren();
  c.pecas.forEach((p, i) => {
    const row = body.insertRow();
    [i + 1, decimal(p.largura_m), decimal(p.altura_m), decimal(p.comprimento_m), text(p.volumes)]
      .forEach((v) => { row.insertCell().textContent = v; });
  });
  if (c.pecas.length === 0) body.insertRow().insertCell().textContent = 'Nenhuma peça.';
  $('aviso').hidden = !c.aviso;
  $('aviso').textContent = c.aviso || '';
  $('editar').disabled = !!c.aviso;
  $('confirmacao').hidden = true;
  $('resultado').hidden = false;
  $('edicao').hidden = true;
}

async function lookUp(id) {
  say('Consultando…');
  const r = await api('GET', '/v1/coletas/' + encodeURIComponent(id));
  if (r.status === 200) {
    say('');
    showColeta(r.body);
    $('titulo-resultado').focus();
  } else {
    $('resultado').hidden = true;
    say(r.body && r.body.detail ? r.body.detail : 'Falha ao consultar.');
  }
}

// ----- the form -----

function clearErrors() {
  document.querySelectorAll('#form-coleta .erro').forEach((e) => { e.textContent = ''; });
  document.querySelectorAll('#form-coleta [aria-invalid]').forEach((e) => {
    e.removeAttribute('aria-invalid');
  });
}

function addPiece(p) {
  const body = $('pecas').tBodies[0];
  const row = body.insertRow();
  const n = body.rows.length;
  PIECE_FIELDS.forEach((f) => {
    const input = document.createElement('input');
    input.className = f;
    input.type = 'text';
    input.inputMode = f === 'volumes' ? 'numeric' : 'decimal';
    input.setAttribute('aria-label', PIECE_LABELS[f] + ', peça ' + n);
    input.placeholder = PIECE_LABELS[f];
    input.value = p ? (f === 'volumes' ? text(p[f]) : decimal(p[f])) : '';
    row.insertCell().appendChild(input);
  });
  const remove = document.createElement('button');
  remove.type = 'button';
  remove.className = 'remover';
  remove.textContent = 'Remover';
  remove.setAttribute('aria-label', 'Remover peça ' + n);
  remove.addEventListener('click', () => {
    const next = row.nextElementSibling || row.previousElementSibling;
    row.remove();
    (next ? next.querySelector('input') : $('adicionar-peca')).focus();
  });
  row.insertCell().appendChild(remove);
  return row;
}

function openForm(c) {
  editingId = c ? c.id : 0;
  $('titulo-edicao').textContent = c ? 'Editar Coleta ' + c.id : 'Nova Coleta';
  clearErrors();
  FIELDS.forEach((f) => {
    const v = c ? c[f] : '';
    $('campo-' + f).value = f === 'peso_kg' || f === 'valor_declarado' ? decimal(v) : text(v);
  });
  $('pecas').tBodies[0].replaceChildren();
  (c ? c.pecas : []).forEach((p) => addPiece(p));
  ['remetente_id', 'destinatario_id'].forEach((f) => showParty(f));
  $('resultado').hidden = true;
  $('edicao').hidden = false;
  $('campo-cliente_id').focus();
}

// Numbers as typed (comma or point); a text that is no number goes as it is,
// so the server names the field that is wrong.
function integerOf(value) {
  const v = value.trim();
  if (v === '') return null;
  return /^-?\d+$/.test(v) ? Number(v) : v;
}
function numberOf(value) {
  const v = value.trim().replace(',', '.');
  if (v === '') return null;
  return /^-?\d+(\.\d+)?$/.test(v) ? Number(v) : v;
}
function moneyOf(value) {
  let v = value.trim();
  if (v === '') return null;
  if (v.includes(',')) v = v.replace(/\./g, '').replace(',', '.');
  return v;
}

function formBody() {
  const body = {
    cliente_id: integerOf($('campo-cliente_id').value),
    remetente_id: integerOf($('campo-remetente_id').value),
    destinatario_id: integerOf($('campo-destinatario_id').value),
    volumes: integerOf($('campo-volumes').value),
    peso_kg: numberOf($('campo-peso_kg').value),
    valor_declarado: moneyOf($('campo-valor_declarado').value),
    embalagem: $('campo-embalagem').value,
    pecas: [],
  };
  for (const row of $('pecas').tBodies[0].rows) {
    const p = {};
    PIECE_FIELDS.forEach((f) => {
      const v = row.querySelector('.' + f).value;
      p[f] = f === 'volumes' ? integerOf(v) : numberOf(v);
    });
    body.pecas.push(p);
  }
  return body;
}

// A refusal next to the field it names; the whole form's message otherwise.
function showProblem(problem) {
  const detail = problem && problem.detail ? problem.detail : 'A gravação falhou.';
  const field = problem && problem.campo ? problem.campo : '';
  const piece = /^pecas\[(\d+)\]\.(\w+)$/.exec(field);
  let input = null;
  let place = $('erro-geral');
  if (piece) {
    const row = $('pecas').tBodies[0].rows[Number(piece[1])];
    input = row ? row.querySelector('.' + piece[2]) : null;
    place = $('erro-pecas');
  } else if (field === 'pecas') {
    place = $('erro-pecas');
  } else if ($('erro-' + field)) {
    place = $('erro-' + field);
    input = $('campo-' + field);
  }
  place.textContent = detail;
  if (input) {
    input.setAttribute('aria-invalid', 'true');
    input.focus();
  } else {
    place.focus();
  }
}

async function save(event) {
  event.preventDefault();
  clearErrors();
  const wasNew = editingId === 0;
  const r = wasNew ? await api('POST', '/v1/coletas', formBody())
    : await api('PUT', '/v1/coletas/' + editingId, formBody());
  if (r.status === 200 || r.status === 201) {
    showColeta(r.body);
    $('numero').value = r.body.id;
    say('Coleta ' + r.body.id + (wasNew ? ' criada.' : ' gravada.'));
    return;
  }
  if (r.body && r.body.id) editingId = r.body.id;  // the header was stored already
  showProblem(r.body);
}

async function remove() {
  const id = shown.id;
  const r = await api('DELETE', '/v1/coletas/' + id);
  $('confirmacao').hidden = true;
  if (r.status === 204) {
    shown = null;
    $('resultado').hidden = true;
    say('Coleta ' + id + ' excluída.');
    $('numero').focus();
  } else {
    say(r.body && r.body.detail ? r.body.detail : 'A exclusão falhou.');
  }
}

// ----- the parties, looked up as their address id is typed -----

const partyTimers = {};
function showParty(field) {
  clearTimeout(partyTimers[field]);
  const info = $('info-' + field);
  const id = $('campo-' + field).value.trim();
  if (!/^\d+$/.test(id) || Number(id) === 0) {
    info.textContent = '';
    return;
  }
  partyTimers[field] = setTimeout(async () => {
    const r = await api('GET', '/v1/pessoas/' + id);
    if ($('campo-' + field).value.trim() !== id) return;  // typed on meanwhile
    if (r.status === 200) {
      const p = r.body;
      info.textContent = (p.nome || '') + (p.municipio ? ' — ' + p.municipio : '') +
        ' (' + p.tipo + ')';
    } else {
      info.textContent = r.status === 404 ? 'Nenhuma pessoa neste endereço.' : '';
    }
  }, 250);
}

// ----- wiring -----

document.addEventListener('DOMContentLoaded', () => {
  if (token()) tokenAccepted(); else showTokenForm();
  $('form-token').addEventListener('submit', (e) => {
    e.preventDefault();
    sessionStorage.setItem('z418kt-token', $('token').value.trim());
    $('token').value = '';
    tokenAccepted();
    $('numero').focus();
  });
  $('sair').addEventListener('click', () => {
    sessionStorage.removeItem('z418kt-token');
    showTokenForm();
  });
  $('form-consulta').addEventListener('submit', (e) => {
    e.preventDefault();
    lookUp($('numero').value.trim());
  });
  $('nova').addEventListener('click', () => openForm(null));
  $('editar').addEventListener('click', () => openForm(shown));
  $('excluir').addEventListener('click', () => {
    $('confirmacao').hidden = false;
    $('cancelar-exclusao').focus();
  });
  $('cancelar-exclusao').addEventListener('click', () => {
    $('confirmacao').hidden = true;
    $('excluir').focus();
  });
  $('confirmar-exclusao').addEventListener('click', remove);
  $('adicionar-peca').addEventListener('click', () => addPiece(null).querySelector('input').focus());
  $('form-coleta').addEventListener('submit', save);
  $('cancelar-edicao').addEventListener('click', () => {
    $('edicao').hidden = true;
    if (shown) showColeta(shown);
  });
  ['remetente_id', 'destinatario_id'].forEach((f) => {
    $('campo-' + f).addEventListener('input', () => showParty(f));
  });
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && !$('confirmacao').hidden) $('cancelar-exclusao').click();
  });
});
