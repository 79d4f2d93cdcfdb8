// The form that creates or edits a Coleta. Numbers are read the Brazilian
// way here and sent as JSON numbers (money as exact text); every error, the
// page's own and the server's, shows next to its field with a summary at the
// top that links to each.
import { api, problemText } from './api.js';
import { entryText, parseEntry } from './numeros.js';
import { describeParty, partyValue, rememberClient, resetParty } from './pessoas.js';

const $ = (id) => document.getElementById(id);

// Field -> caption (as the operator sees it) and how its text is read.
const FIELDS = {
  cliente_id: { caption: 'Cliente', kind: 'parte' },
  remetente_id: { caption: 'Remetente', kind: 'parte' },
  destinatario_id: { caption: 'Destinatário', kind: 'parte' },
  volumes: { caption: 'Nº de Volumes', kind: 'inteiro' },
  peso_kg: { caption: 'Peso (kg)', kind: 'decimal' },
  valor_declarado: { caption: 'Valor declarado', kind: 'dinheiro' },
  embalagem: { caption: 'Descrição da mercadoria', kind: 'texto' },
};
const PIECE_FIELDS = {
  largura_m: { caption: 'Largura (m)', noun: 'Largura', kind: 'decimal' },
  altura_m: { caption: 'Altura (m)', noun: 'Altura', kind: 'decimal' },
  comprimento_m: { caption: 'Comprimento (m)', noun: 'Comprimento', kind: 'decimal' },
  volumes: { caption: 'Volumes', noun: 'Volumes', kind: 'inteiro' },
};

let editingId = 0;        // 0: the form creates a new Coleta
let idempotency = null;   // { key, body }: a create retried unchanged is the same create
let pieceSerial = 0;      // makes every piece input's id unique

export const editing = () => editingId;

// ----- pieces -----

function pieceItems() { return [...$('pecas').children]; }

function renumber() {
  pieceItems().forEach((li, i) => {
    li.querySelector('legend').textContent = 'Peça ' + (i + 1);
    li.querySelector('.remover').textContent = 'Remover peça ' + (i + 1);
  });
}

export function addPiece(p) {
  const k = ++pieceSerial;
  const li = document.createElement('li');
  const set = document.createElement('fieldset');
  set.className = 'peca';
  set.appendChild(document.createElement('legend'));
  for (const [f, d] of Object.entries(PIECE_FIELDS)) {
    const box = document.createElement('div');
    box.className = 'campo';
    const id = 'peca-' + k + '-' + f;
    const label = document.createElement('label');
    label.htmlFor = id;
    label.textContent = d.caption;
    const input = document.createElement('input');
    input.id = id;
    input.type = 'text';
    input.className = f;
    input.autocomplete = 'off';
    input.inputMode = d.kind === 'inteiro' ? 'numeric' : 'decimal';
    input.value = p ? entryText(p[f], d.kind) : '';
    input.setAttribute('aria-describedby', id + '-erro');
    const error = document.createElement('p');
    error.id = id + '-erro';
    error.className = 'erro';
    box.append(label, input, error);
    set.appendChild(box);
  }
  const remove = document.createElement('button');
  remove.type = 'button';
  remove.className = 'remover';
  remove.addEventListener('click', () => {
    const next = li.nextElementSibling || li.previousElementSibling;
    li.remove();
    renumber();
    (next ? next.querySelector('input') : $('adicionar-peca')).focus();
  });
  set.appendChild(remove);
  li.appendChild(set);
  $('pecas').appendChild(li);
  renumber();
  return li;
}

// ----- errors -----

function clearErrors() {
  document.querySelectorAll('#form-coleta .erro').forEach((e) => { e.textContent = ''; });
  document.querySelectorAll('#form-coleta [aria-invalid]').forEach((e) => e.removeAttribute('aria-invalid'));
  $('resumo-lista').replaceChildren();
  $('resumo-erros').hidden = true;
}

// The input a field name of the API stands for, and where its error goes.
function placeOf(campo) {
  if (FIELDS[campo]) return { input: $('campo-' + campo), error: $('campo-' + campo + '-erro') };
  const piece = /^pecas\[(\d+)\](?:\.(\w+))?$/.exec(campo || '');
  if (piece) {
    const li = pieceItems()[Number(piece[1])];
    const input = li && piece[2] ? li.querySelector('input.' + piece[2]) : null;
    if (input) return { input, error: $(input.id + '-erro') };
    return { input: li ? li.querySelector('input') : null, error: $('campo-pecas-erro') };
  }
  if (campo === 'pecas') return { input: null, error: $('campo-pecas-erro') };
  return { input: null, error: $('campo--erro') };
}

// Shows every error in place and in the summary; focuses the summary.
function showErrors(errors) {
  const summary = $('resumo-lista');
  // The summary lists the errors in the order of their fields on the form.
  const placed = errors.map((e) => ({ ...e, ...placeOf(e.campo) }));
  placed.sort((a, b) => {
    const x = a.input || a.error;
    const y = b.input || b.error;
    if (x === y) return 0;
    return x.compareDocumentPosition(y) & Node.DOCUMENT_POSITION_FOLLOWING ? -1 : 1;
  });
  for (const e of placed) {
    const { input, error } = e;
    error.textContent = error.textContent ? error.textContent + ' ' + e.mensagem : e.mensagem;
    const item = document.createElement('li');
    const target = input || error;
    const link = document.createElement('a');
    link.href = '#' + target.id;
    link.textContent = e.mensagem;
    // The address keeps naming the screen: the link moves the focus only.
    link.addEventListener('click', (ev) => {
      ev.preventDefault();
      target.focus();
    });
    item.appendChild(link);
    summary.appendChild(item);
    if (input) input.setAttribute('aria-invalid', 'true');
  }
  $('resumo-titulo').textContent = errors.length === 1 ? 'Corrija 1 campo antes de gravar'
    : 'Corrija ' + errors.length + ' campos antes de gravar';
  $('resumo-erros').hidden = false;
  $('resumo-erros').focus();
}

// ----- reading the form -----

// { body, errors }: what to send, and what cannot be sent as typed.
function readForm() {
  const body = {};
  const errors = [];
  for (const [f, d] of Object.entries(FIELDS)) {
    const input = $('campo-' + f);
    let v;
    if (d.kind === 'texto') v = { value: input.value };
    else if (d.kind === 'parte') v = partyValue(input);
    else v = parseEntry(input.value, d.kind);
    if (v.erro) errors.push({ campo: f, mensagem: d.caption + ': ' + v.erro });
    else body[f] = v.value;
  }
  body.pecas = pieceItems().map((li, i) => {
    const p = {};
    for (const [f, d] of Object.entries(PIECE_FIELDS)) {
      const v = parseEntry(li.querySelector('input.' + f).value, d.kind);
      if (v.erro) errors.push({ campo: 'pecas[' + i + '].' + f, mensagem: d.noun + ' da peça ' + (i + 1) + ': ' + v.erro });
      else p[f] = v.value;
    }
    return p;
  });
  return { body, errors };
}

// ----- opening and saving -----

export function openForm(c) {
  editingId = c ? c.id : 0;
  idempotency = null;
  $('titulo-edicao').textContent = c ? 'Editar Coleta ' + c.id : 'Nova Coleta';
  clearErrors();
  for (const [f, d] of Object.entries(FIELDS)) {
    const input = $('campo-' + f);
    const v = c ? c[f] : null;
    input.value = d.kind === 'texto' || d.kind === 'parte' ? (v ?? '') : entryText(v, d.kind);
    if (d.kind === 'parte') {
      resetParty(input);
      if (c && f === 'cliente_id') rememberClient(c.cliente_id, c.cliente_nome || c.cliente);
      describeParty(input);
    }
  }
  $('pecas').replaceChildren();
  (c ? c.pecas : []).forEach((p) => addPiece(p));
}

// Sends the form: the saved Coleta; { conflito } when the Coleta can no
// longer be changed; or null with the errors shown.
export async function save() {
  clearErrors();
  const { body, errors } = readForm();
  if (errors.length) {
    showErrors(errors);
    return null;
  }
  let r;
  if (editingId === 0) {
    const text = JSON.stringify(body);
    if (!idempotency || idempotency.body !== text) idempotency = { key: crypto.randomUUID(), body: text };
    r = await api('POST', '/v1/coletas', body, { 'Idempotency-Key': idempotency.key });
  } else {
    r = await api('PUT', '/v1/coletas/' + editingId, body);
  }
  if (r.status === 200 || r.status === 201) return r.body;
  // Air waybills were issued meanwhile: the Coleta screen says so.
  if (r.status === 409 && editingId) return { conflito: problemText(r, 'Esta Coleta não pode mais ser alterada.') };
  const problem = r.body || {};
  if (problem.id && editingId === 0) {
    // The header was stored before a later step was refused: saving again
    // completes that Coleta instead of creating another one.
    editingId = problem.id;
    $('titulo-edicao').textContent = 'Editar Coleta ' + editingId;
  }
  let list = Array.isArray(problem.erros) && problem.erros.length ? problem.erros
    : [{ campo: problem.campo || '', mensagem: problemText(r, 'A gravação falhou.') }];
  list = list.map((e) => ({ campo: e.campo || '', mensagem: e.mensagem || problemText(r, 'A gravação falhou.') }));
  showErrors(list);
  return null;
}
