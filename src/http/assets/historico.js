// The Coleta's history: its events, oldest first, each with when, who, what
// kind of change and what changed (header fields before and after, the
// pieces before and after when they differ).
import { api, problemText } from './api.js';
import { formatDate, formatKg, formatMetres, formatMoney, formatNumber } from './numeros.js';
import { clientName } from './pessoas.js';

const $ = (id) => document.getElementById(id);
const LIMIT = 1000;  // events shown; a longer history says so

const KINDS = {
  'coleta.criada': 'Criada',
  'coleta.alterada': 'Alterada',
  'coleta.cargas_substituidas': 'Peças substituídas',
  'coleta.excluida': 'Excluída',
};

const STATUS = { 1: 'Ativa', 2: 'Excluída' };

// The header fields in the order and with the captions of the Coleta screen.
const FIELDS = [
  ['data_emissao', 'Data', (v) => formatDate(String(v))],
  ['cliente_id', 'Cliente', (v) => clientName(v) || 'Cliente ' + v],
  ['end_remetente_id', 'Remetente', (v) => 'Endereço ' + v],
  ['end_destinatario_id', 'Destinatário', (v) => 'Endereço ' + v],
  ['num_volume', 'Volumes', formatNumber],
  ['peso_real', 'Peso', formatKg],
  ['val_declarado', 'Valor declarado', formatMoney],
  ['txt_embalagem', 'Descrição da mercadoria', String],
  ['tab_status_id', 'Situação', (v) => STATUS[v] || String(v)],
  ['empresa_id', 'Empresa', String],
];

const when = new Intl.DateTimeFormat('pt-BR', { dateStyle: 'short', timeStyle: 'medium' });

function timeText(text) {
  const d = new Date(text);
  return Number.isNaN(d.getTime()) ? String(text || '') : when.format(d);
}

const shown = (format, v) => (v === null || v === undefined || v === '' ? '—' : format(v));

function piecesText(state) {
  const pecas = state && Array.isArray(state.cargas) ? state.cargas : null;
  if (!pecas) return '—';
  if (pecas.length === 0) return 'Nenhuma peça';
  return pecas.map((p) => [p.largura_m, p.altura_m, p.comprimento_m].map(formatMetres).join(' × ') +
    ', ' + formatNumber(p.num_volume) + (p.num_volume === 1 ? ' volume' : ' volumes')).join('; ');
}

function samePieces(a, b) {
  const list = (s) => (s && Array.isArray(s.cargas) ? s.cargas : []);
  return JSON.stringify(list(a)) === JSON.stringify(list(b));
}

function whoText(e) {
  const parts = [];
  if (e.usuario_id !== null && e.usuario_id !== undefined) parts.push('usuário ' + e.usuario_id);
  if (e.origem) parts.push('via ' + e.origem);
  return parts.length ? parts.join(', ') : 'autor não informado';
}

function changeTable(e, n) {
  const table = document.createElement('table');
  table.className = 'mudancas';
  table.createCaption().textContent = 'O que mudou';
  const head = table.createTHead().insertRow();
  for (const t of ['Campo', 'Antes', 'Depois']) {
    const th = document.createElement('th');
    th.scope = 'col';
    th.textContent = t;
    head.appendChild(th);
  }
  const body = table.createTBody();
  const row = (caption, before, after) => {
    const r = body.insertRow();
    const th = document.createElement('th');
    th.scope = 'row';
    th.textContent = caption;
    r.appendChild(th);
    r.insertCell().textContent = before;
    r.insertCell().textContent = after;
  };
  const changes = e.alteracoes || {};
  for (const [key, caption, format] of FIELDS) {
    if (!(key in changes)) continue;
    row(caption, shown(format, changes[key].antes), shown(format, changes[key].depois));
  }
  if (!samePieces(e.antes, e.depois)) row('Peças', piecesText(e.antes), piecesText(e.depois));
  if (body.rows.length === 0) return null;
  table.id = 'mudancas-' + n;
  return table;
}

function eventItem(e, n) {
  const li = document.createElement('li');
  li.className = 'evento';
  const h = document.createElement('h3');
  h.textContent = (KINDS[e.tipo] || e.tipo) + ' em ' + timeText(e.data_hora);
  li.appendChild(h);
  const who = document.createElement('p');
  who.className = 'autor';
  who.textContent = 'Por ' + whoText(e) + ' · evento ' + e.sequencia;
  li.appendChild(who);
  const table = changeTable(e, n);
  if (table) {
    const wrap = document.createElement('div');
    wrap.className = 'tabela';
    wrap.tabIndex = 0;
    wrap.setAttribute('role', 'region');
    wrap.setAttribute('aria-label', 'O que mudou no evento ' + e.sequencia);
    wrap.appendChild(table);
    li.appendChild(wrap);
  } else {
    const none = document.createElement('p');
    none.textContent = 'Nenhum campo mudou.';
    li.appendChild(none);
  }
  return li;
}

// Reads and shows the history of Coleta `id`; a later call wins over an
// earlier one still waiting for its answer.
let asked = 0;
export async function showHistory(id) {
  const mine = ++asked;
  const list = $('eventos');
  const state = $('historico-estado');
  list.replaceChildren();
  state.textContent = 'Lendo o histórico…';
  const r = await api('GET', '/v1/coletas/' + encodeURIComponent(id) + '/eventos?limite=' + LIMIT);
  if (mine !== asked) return;
  if (r.status !== 200 || !Array.isArray(r.body)) {
    state.textContent = problemText(r, 'O histórico não pôde ser lido.');
    return;
  }
  r.body.forEach((e, i) => list.appendChild(eventItem(e, i)));
  state.textContent = r.body.length === 0 ? 'Nenhum evento registrado para esta Coleta.'
    : r.body.length >= LIMIT ? 'Mostrando os primeiros ' + LIMIT + ' eventos.'
      : r.body.length === 1 ? '1 evento.' : r.body.length + ' eventos.';
}

// The two tabs of the Coleta screen, Dados and Histórico, as the ARIA tabs
// pattern has them: arrows move between tabs, only the selected one is in
// the tab order. `onHistory` runs each time Histórico is selected.
export function wireTabs(onHistory) {
  const tabs = [$('aba-dados'), $('aba-historico')];
  const select = (tab, focus) => {
    for (const t of tabs) {
      const on = t === tab;
      t.setAttribute('aria-selected', String(on));
      t.tabIndex = on ? 0 : -1;
      $(t.getAttribute('aria-controls')).hidden = !on;
    }
    if (focus) tab.focus();
    if (tab.id === 'aba-historico') onHistory();
  };
  tabs.forEach((tab, i) => {
    tab.addEventListener('click', () => select(tab, false));
    tab.addEventListener('keydown', (e) => {
      const next = { ArrowRight: 1, ArrowLeft: -1 }[e.key];
      if (next) {
        e.preventDefault();
        select(tabs[(i + next + tabs.length) % tabs.length], true);
      } else if (e.key === 'Home' || e.key === 'End') {
        e.preventDefault();
        select(tabs[e.key === 'Home' ? 0 : tabs.length - 1], true);
      }
    });
  });
  return () => select(tabs[0], false);
}
