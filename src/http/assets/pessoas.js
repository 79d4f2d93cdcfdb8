// Parties: the card of the party at an address, the search by name, CPF or
// CNPJ, and the party fields that say who a code is as it is typed and offer
// a search for anything that is not a code.
import { api, query, problemText } from './api.js';
import { formatDocument } from './numeros.js';

const $ = (id) => document.getElementById(id);
const SEARCH_DELAY_MS = 300;  // typing pauses this long before a search is sent
const FIELD_OPTIONS = 8;      // options offered under a party field
const PAGE_SIZE = 20;         // parties a page of the Pessoas screen shows

// A code is at most ten digits (an id below 2^31); more digits, or any other
// text, is searched for as a name, CPF or CNPJ.
const isCode = (t) => /^\d{1,10}$/.test(t) && Number(t) > 0 && Number(t) <= 2147483647;

// The party at each address, asked once per page load. A client is known by
// its party id, which no resource reads by itself: its name is remembered
// from the lists, Coletas and searches that carried it.
const atAddress = new Map();
const clientNames = new Map();

export function rememberClient(id, name) {
  if (id && name) clientNames.set(Number(id), name);
}
export const clientName = (id) => clientNames.get(Number(id)) || '';

// { status, pessoa } for the party at an address.
export function partyAt(id) {
  const key = Number(id);
  if (!atAddress.has(key)) {
    const asked = api('GET', '/v1/pessoas/' + key).then((r) => {
      if (r.status !== 200) atAddress.delete(key);  // a failure is asked again next time
      else rememberClient(r.body.pessoa_id, r.body.nome);
      return { status: r.status, pessoa: r.status === 200 ? r.body : null, r };
    });
    atAddress.set(key, asked);
  }
  return atAddress.get(key);
}

// No resource reads a client by its code; its latest Coleta carries its
// name. True when the name is now known.
async function clientFromColetas(id) {
  const r = await api('GET', '/v1/coletas' + query({ cliente_id: id, limite: 1 }));
  if (r.status !== 200 || !r.body.itens.length) return false;
  rememberClient(id, r.body.itens[0].cliente_nome);
  return !!clientName(id);
}

export async function searchParties(q, limite, cursor) {
  const r = await api('GET', '/v1/pessoas' + query({ q, limite, cursor }));
  if (r.status === 200) {
    for (const p of r.body.itens) {
      rememberClient(p.pessoa_id, p.nome);
      atAddress.set(p.endereco_id, Promise.resolve({ status: 200, pessoa: p }));
    }
  }
  return r;
}

export const kindText = (tipo) => (tipo === 'PF' ? 'Pessoa física' : 'Pessoa jurídica');
export const documentName = (tipo) => (tipo === 'PF' ? 'CPF' : 'CNPJ');

// "Aurora Comércio de Peças Ltda., Campinas"
export const nameAndCity = (p) => (p.nome || '') + (p.municipio ? ', ' + p.municipio : '');

function partyLine(p) {
  const doc = p.cpf_cnpj ? ' · ' + documentName(p.tipo) + ' ' + formatDocument(p.cpf_cnpj) : '';
  return nameAndCity(p) + doc;
}

// ----- a party field: a code, or a text to search for -----

// The input's value as the API takes it: { value } or { erro }.
export function partyValue(input) {
  const t = input.value.trim();
  if (t === '') return { value: null };
  if (isCode(t)) return { value: Number(t) };
  return { erro: 'Escolha uma pessoa da lista ou informe o código.' };
}

// Shows, under the field, who its code is; called after the value is set.
export async function describeParty(input) {
  const who = $(input.id + '-quem');
  const t = input.value.trim();
  if (!isCode(t)) return;
  if (input.closest('.parte').dataset.tipo === 'cliente') {
    who.textContent = clientName(t) || 'Cliente de código ' + t + '.';
    if (!clientName(t) && await clientFromColetas(t) && input.value.trim() === t) {
      who.textContent = clientName(t);
    }
    return;
  }
  const { status, pessoa } = await partyAt(t);
  if (input.value.trim() !== t) return;  // typed on meanwhile
  if (status === 200) who.textContent = partyLine(pessoa);
  else who.textContent = status === 404 ? 'Nenhuma pessoa com este código de endereço.' : '';
}

function offer(input, items) {
  const list = $(input.id + '-opcoes');
  const who = $(input.id + '-quem');
  const client = input.closest('.parte').dataset.tipo === 'cliente';
  const seen = new Set();
  list.replaceChildren();
  for (const p of items) {
    const id = client ? p.pessoa_id : p.endereco_id;
    if (!id || seen.has(id)) continue;
    seen.add(id);
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'opcao';
    button.textContent = partyLine(p) + (client ? '' : ' · endereço ' + p.endereco_id);
    button.addEventListener('click', () => {
      input.value = String(id);
      list.replaceChildren();
      who.textContent = client ? p.nome : partyLine(p);
      input.dispatchEvent(new CustomEvent('escolhida'));
      input.focus();
    });
    const item = document.createElement('li');
    item.appendChild(button);
    list.appendChild(item);
  }
  who.textContent = seen.size === 0 ? 'Nenhuma pessoa encontrada.'
    : seen.size + (seen.size === 1 ? ' pessoa encontrada: escolha-a abaixo.'
      : ' pessoas encontradas: escolha uma abaixo.');
}

// Wires one party field: as a code is typed its party shows; any other text
// is searched for after a pause and the matches are offered as buttons.
export function partyField(input) {
  let timer = 0;
  const who = $(input.id + '-quem');
  const list = $(input.id + '-opcoes');
  input.addEventListener('input', () => {
    clearTimeout(timer);
    list.replaceChildren();
    who.textContent = '';
    const t = input.value.trim();
    if (t === '') return;
    timer = setTimeout(async () => {
      if (isCode(t)) {
        describeParty(input);
        return;
      }
      who.textContent = 'Buscando…';
      const r = await searchParties(t, FIELD_OPTIONS);
      if (input.value.trim() !== t) return;
      if (r.status === 200) offer(input, r.body.itens);
      else who.textContent = problemText(r, 'A busca falhou.');
    }, SEARCH_DELAY_MS);
  });
  // Enter in a field with options picks the first one instead of submitting.
  input.addEventListener('keydown', (e) => {
    const first = list.querySelector('button');
    if (e.key === 'Enter' && first) {
      e.preventDefault();
      first.click();
    }
  });
}

// Clears what a party field says about its value.
export function resetParty(input) {
  $(input.id + '-quem').textContent = '';
  $(input.id + '-opcoes').replaceChildren();
}

// ----- the Pessoas screen and a party's card -----

function card(p) {
  const item = document.createElement('li');
  const link = document.createElement('a');
  link.href = '#/pessoas/' + p.endereco_id;
  link.textContent = p.nome || 'Endereço ' + p.endereco_id;
  const lines = [
    kindText(p.tipo) + (p.cpf_cnpj ? ' · ' + documentName(p.tipo) + ' ' + formatDocument(p.cpf_cnpj) : ''),
    [p.endereco, p.municipio, p.cod_municipio_iata].filter(Boolean).join(' · '),
  ];
  item.appendChild(link);
  for (const line of lines) {
    const p2 = document.createElement('p');
    p2.textContent = line;
    item.appendChild(p2);
  }
  return item;
}

export async function showSearch(params, say) {
  const q = params.get('q') || '';
  $('busca-pessoa').value = q;
  const list = $('pessoas');
  list.replaceChildren();
  $('mais-pessoas').hidden = true;
  if (!q) return;
  say('Buscando…');
  const r = await searchParties(q, PAGE_SIZE, params.get('cursor') || undefined);
  if (r.status !== 200) {
    say(r.status === 404 ? 'A busca de pessoas não está disponível neste servidor.'
      : problemText(r, 'A busca falhou.'));
    return;
  }
  r.body.itens.forEach((p) => list.appendChild(card(p)));
  say(r.body.itens.length === 0 ? 'Nenhuma pessoa encontrada.'
    : r.body.itens.length + (r.body.itens.length === 1 ? ' pessoa encontrada.' : ' pessoas encontradas.'));
  if (r.body.proximo_cursor) {
    $('mais-pessoas').href = '#/pessoas' + query({ q, cursor: r.body.proximo_cursor });
    $('mais-pessoas').hidden = false;
  }
}

// false when the card could not be shown (the message says why).
export async function showCard(id, say) {
  const { status, pessoa: p, r } = await partyAt(id);
  if (status !== 200) {
    say(problemText(r, 'A consulta da pessoa falhou.'));
    return false;
  }
  const set = (el, v) => { $(el).textContent = v || '—'; };
  $('titulo-pessoa').textContent = p.nome || 'Endereço ' + p.endereco_id;
  set('p-tipo', kindText(p.tipo));
  set('p-fantasia', p.nome_fantasia);
  $('p-doc-nome').textContent = documentName(p.tipo);
  set('p-doc', formatDocument(p.cpf_cnpj));
  $('p-ie-nome').textContent = p.tipo === 'PF' ? 'RG' : 'Inscrição estadual';
  set('p-ie', p.ie_rg);
  set('p-endereco', p.endereco);
  set('p-cep', p.cep);
  set('p-municipio', p.municipio);
  set('p-iata', p.cod_municipio_iata);
  set('p-endereco-id', String(p.endereco_id));
  $('p-como-remetente').href = '#/coletas' + query({ remetente: p.endereco_id });
  $('p-como-destinatario').href = '#/coletas' + query({ destinatario: p.endereco_id });
  $('p-como-cliente').href = '#/coletas' + query({ cliente: p.pessoa_id });
  $('p-como-cliente').hidden = !p.pessoa_id;
  return true;
}
