// The list of Coletas, newest first, with its filters and keyset pages. The
// filters live in the address (#/coletas?cliente=2&desde=2024-03-01), so
// Back, reload and a shared link show the same page.
import { api, query, problemText } from './api.js';
import { formatDate, formatKg, formatMoney, formatNumber, today } from './numeros.js';
import { describeParty, nameAndCity, partyAt, partyValue, rememberClient, resetParty } from './pessoas.js';

const $ = (id) => document.getElementById(id);
const PAGE_SIZE = 25;       // Coletas a page shows, unless the address says otherwise
const MAX_PAGE_SIZE = 500;  // the most the server gives in one page
const DATE = /^\d{4}-\d{2}-\d{2}$/;

// Filter name in the address -> input and API parameter.
const FILTERS = [
  { name: 'cliente', input: 'filtro-cliente', param: 'cliente_id' },
  { name: 'remetente', input: 'filtro-remetente', param: 'remetente_id' },
  { name: 'destinatario', input: 'filtro-destinatario', param: 'destinatario_id' },
  { name: 'desde', input: 'filtro-desde', param: 'desde' },
  { name: 'ate', input: 'filtro-ate', param: 'ate' },
];

// Summaries of the Coletas seen, by id: the Coleta screen takes its date
// from here (a Coleta read by itself carries none).
export const seen = new Map();

// The filters typed into the form as an address, or null with the errors
// shown next to their fields.
export function filtersFromForm() {
  const params = {};
  let ok = true;
  for (const f of FILTERS) {
    const input = $(f.input);
    const error = $(f.input + '-erro');
    if (error) error.textContent = '';
    input.removeAttribute('aria-invalid');
    if (f.name === 'desde' || f.name === 'ate') {
      params[f.name] = input.value;
      continue;
    }
    const v = partyValue(input);
    if (v.erro) {
      error.textContent = v.erro;
      input.setAttribute('aria-invalid', 'true');
      ok = false;
    } else {
      params[f.name] = v.value;
    }
  }
  if (ok && params.desde && params.ate && params.desde > params.ate) {
    $('filtro-desde-erro').textContent = 'A data inicial é posterior à final.';
    $('filtro-desde').setAttribute('aria-invalid', 'true');
    ok = false;
  }
  return ok ? '#/coletas' + query(params) : null;
}

export function todayFilter() {
  $('filtro-desde').value = today();
  $('filtro-ate').value = today();
}

export function clearFilters() {
  for (const f of FILTERS) {
    $(f.input).value = '';
    if (f.name !== 'desde' && f.name !== 'ate') resetParty($(f.input));
  }
}

function cell(row, text, className) {
  const c = row.insertCell();
  c.textContent = text;
  if (className) c.className = className;
  return c;
}

// A party cell: the name now, the city when the party's address is read.
function partyCell(row, id, name, heading) {
  const c = row.insertCell();
  c.dataset.titulo = heading;
  if (!id) return;
  const link = document.createElement('a');
  link.href = '#/pessoas/' + id;
  link.textContent = name || 'Endereço ' + id;
  c.appendChild(link);
  partyAt(id).then(({ status, pessoa }) => {
    if (status === 200) link.textContent = nameAndCity(pessoa);
  });
}

function addRow(body, c) {
  const row = body.insertRow();
  const number = row.insertCell();
  number.dataset.titulo = 'Número';
  const link = document.createElement('a');
  link.href = '#/coletas/' + c.id;
  link.textContent = String(c.id);
  number.appendChild(link);
  cell(row, formatDate(c.data_emissao)).dataset.titulo = 'Data';
  cell(row, c.cliente_nome || (c.cliente_id ? 'Cliente ' + c.cliente_id : '')).dataset.titulo = 'Cliente';
  partyCell(row, c.remetente_id, c.remetente_nome, 'Remetente');
  partyCell(row, c.destinatario_id, c.destinatario_nome, 'Destinatário');
  cell(row, formatKg(c.peso_kg), 'num').dataset.titulo = 'Peso';
  cell(row, formatMoney(c.valor_declarado), 'num').dataset.titulo = 'Valor';
  cell(row, formatNumber(c.volumes), 'num').dataset.titulo = 'Volumes';
  // The whole row opens the Coleta for a mouse or a finger; the keyboard
  // reaches the number's link.
  row.addEventListener('click', (e) => {
    if (!e.target.closest('a')) location.hash = link.getAttribute('href');
  });
}

export async function showList(params, say) {
  // On a phone the filters fold away unless some are in use, so the list is
  // what the screen opens on.
  $('caixa-filtros').open = !matchMedia('(max-width: 40rem)').matches ||
    FILTERS.some((f) => params.get(f.name));
  for (const f of FILTERS) {
    const v = params.get(f.name) || '';
    $(f.input).value = v;
    if (f.name !== 'desde' && f.name !== 'ate') {
      resetParty($(f.input));
      if (v) describeParty($(f.input));
    }
  }
  // limite in the address asks for another page size (1 to MAX_PAGE_SIZE).
  const asked = Number(params.get('limite'));
  const size = Number.isInteger(asked) && asked >= 1 ? Math.min(asked, MAX_PAGE_SIZE) : PAGE_SIZE;
  const apiParams = { limite: size, cursor: params.get('cursor') || undefined };
  for (const f of FILTERS) {
    const v = params.get(f.name) || '';
    if (!v) continue;
    const wrong = f.name === 'desde' || f.name === 'ate' ? !DATE.test(v) : !/^\d{1,10}$/.test(v);
    if (wrong) {
      say('O filtro ' + f.name + ' do endereço desta página não é válido: ' + v + '.');
      return;
    }
    apiParams[f.param] = v;
  }
  const body = $('lista').tBodies[0];
  say('Carregando Coletas…');
  const r = await api('GET', '/v1/coletas' + query(apiParams));
  body.replaceChildren();
  $('lista-vazia').hidden = true;
  $('proxima-pagina').hidden = true;
  $('primeira-pagina').hidden = !params.get('cursor');
  if (r.status !== 200) {
    say(r.status === 404 ? 'A lista de Coletas não está disponível neste servidor; abra uma Coleta pelo número.'
      : problemText(r, 'A lista não pôde ser lida.'));
    return;
  }
  for (const c of r.body.itens) {
    seen.set(c.id, c);
    rememberClient(c.cliente_id, c.cliente_nome);
    addRow(body, c);
  }
  $('lista-vazia').hidden = r.body.itens.length > 0;
  if (params.get('cliente')) describeParty($('filtro-cliente'));  // its name came with the rows
  const first = new URLSearchParams(params);
  first.delete('cursor');
  $('primeira-pagina').href = '#/coletas' + (first.toString() ? '?' + first : '');
  if (r.body.proximo_cursor) {
    const next = new URLSearchParams(params);
    next.set('cursor', r.body.proximo_cursor);
    $('proxima-pagina').href = '#/coletas?' + next;
    $('proxima-pagina').hidden = false;
  }
  const n = r.body.itens.length;
  say(n === 0 ? '' : n + (n === 1 ? ' Coleta nesta página.' : ' Coletas nesta página.'));
}
