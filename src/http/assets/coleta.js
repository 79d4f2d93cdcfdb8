// A Coleta on screen and as a printed pickup order for the driver. A Coleta
// with air waybills issued can no longer be changed: its Editar and Excluir
// are disabled, with the warning as the reason.
import { api, problemText } from './api.js';
import { formatDate, formatDocument, formatKg, formatMetres, formatMoney, formatNumber } from './numeros.js';
import { clientName, documentName, partyAt, rememberClient } from './pessoas.js';
import { seen } from './lista.js';

const $ = (id) => document.getElementById(id);

// { status, coleta, r }
export async function readColeta(id) {
  const r = await api('GET', '/v1/coletas/' + encodeURIComponent(id));
  if (r.status === 200) rememberClient(r.body.cliente_id, r.body.cliente_nome || r.body.cliente);
  return { status: r.status, coleta: r.status === 200 ? r.body : null, r };
}

export const locked = (c) => c.editavel === false || !!c.aviso;

const clientText = (c) => c.cliente_nome || c.cliente || clientName(c.cliente_id) ||
  (c.cliente_id ? 'Cliente ' + c.cliente_id : '');

function dateOf(c) {
  const summary = seen.get(c.id);
  const date = c.data_emissao || (summary && summary.data_emissao);
  return date ? formatDate(date) : '';
}

// The client is a party, not an address: its name leads to the search that
// lists its addresses' cards.
function clientLink(dd, c) {
  dd.replaceChildren();
  const name = clientText(c);
  const known = c.cliente_nome || c.cliente || clientName(c.cliente_id);
  if (!known) {
    dd.textContent = name;
    return;
  }
  const link = document.createElement('a');
  link.href = '#/pessoas?' + new URLSearchParams({ q: c.cliente_nome || known });
  link.textContent = name;
  dd.appendChild(link);
}

// The party at an address as a link to its card, its city filled in when read.
function partyLink(dd, id, name) {
  dd.replaceChildren();
  if (!id) return;
  const link = document.createElement('a');
  link.href = '#/pessoas/' + id;
  link.textContent = name || 'Endereço ' + id;
  dd.appendChild(link);
  const where = document.createElement('span');
  dd.appendChild(where);
  partyAt(id).then(({ status, pessoa: p }) => {
    if (status !== 200) return;
    link.textContent = p.nome || link.textContent;
    where.textContent = ' — ' + [p.endereco, p.municipio].filter(Boolean).join(', ');
  });
}

function pieceRows(body, pecas, withVolume) {
  body.replaceChildren();
  pecas.forEach((p, i) => {
    const row = body.insertRow();
    const values = [String(i + 1), formatMetres(p.largura_m), formatMetres(p.altura_m),
      formatMetres(p.comprimento_m), formatNumber(p.volumes)];
    if (withVolume) values.push(cubic(p));
    values.forEach((v, k) => {
      const c = row.insertCell();
      c.textContent = v;
      if (k > 0) c.className = 'num';
    });
  });
  if (pecas.length === 0) {
    const c = body.insertRow().insertCell();
    c.colSpan = withVolume ? 6 : 5;
    c.textContent = 'Nenhuma peça.';
  }
}

const volumeOf = (p) => (p.largura_m || 0) * (p.altura_m || 0) * (p.comprimento_m || 0) * (p.volumes || 0);
const cubicFormat = new Intl.NumberFormat('pt-BR', { maximumFractionDigits: 3 });
const cubic = (p) => cubicFormat.format(volumeOf(p)) + ' m³';

export function showColeta(c) {
  $('r-id').textContent = String(c.id);
  $('r-data').textContent = dateOf(c) || '—';
  clientLink($('r-cliente'), c);
  partyLink($('r-remetente'), c.remetente_id, c.remetente_nome);
  partyLink($('r-destinatario'), c.destinatario_id, c.destinatario_nome);
  $('r-volumes').textContent = formatNumber(c.volumes);
  $('r-peso').textContent = formatKg(c.peso_kg);
  $('r-valor').textContent = formatMoney(c.valor_declarado);
  $('r-embalagem').textContent = c.embalagem || '';
  pieceRows($('r-pecas').tBodies[0], c.pecas, false);
  $('aviso').hidden = !c.aviso;
  $('aviso').textContent = c.aviso || '';
  const isLocked = locked(c);
  for (const b of ['editar', 'excluir']) {
    $(b).disabled = isLocked;
    if (isLocked) $(b).setAttribute('aria-describedby', 'bloqueio');
    else $(b).removeAttribute('aria-describedby');
  }
  $('bloqueio').hidden = !isLocked;
  $('bloqueio').textContent = isLocked
    ? 'Editar e Excluir estão bloqueados: ' + (c.aviso || 'há conhecimentos aéreos emitidos para esta Coleta.')
    : '';
  $('imprimir').href = '#/coletas/' + c.id + '/imprimir';
  $('confirmacao').hidden = true;
}

// The delete after its confirmation: { status, message }.
export async function deleteColeta(id) {
  const r = await api('DELETE', '/v1/coletas/' + id);
  $('confirmacao').hidden = true;
  if (r.status === 204) seen.delete(id);
  return { status: r.status, message: r.status === 204 ? 'Coleta ' + id + ' excluída.'
    : problemText(r, 'A exclusão falhou.') };
}

// ----- the pickup order -----

async function partyBlock(p, id) {
  p.replaceChildren();
  if (!id) return;
  const { status, pessoa } = await partyAt(id);
  const lines = status !== 200 ? ['Endereço ' + id] : [
    pessoa.nome + (pessoa.cpf_cnpj ? ' — ' + documentName(pessoa.tipo) + ' ' + formatDocument(pessoa.cpf_cnpj) : ''),
    pessoa.endereco || '',
    [pessoa.cep ? 'CEP ' + pessoa.cep : '', pessoa.municipio,
      pessoa.cod_municipio_iata ? 'IATA ' + pessoa.cod_municipio_iata : ''].filter(Boolean).join(' · '),
  ];
  lines.filter(Boolean).forEach((line, i) => {
    if (i > 0) p.appendChild(document.createElement('br'));
    p.appendChild(document.createTextNode(line));
  });
}

export async function showOrder(c) {
  $('o-id').textContent = String(c.id);
  const date = dateOf(c);
  $('o-data').textContent = date ? 'Emitida em ' + date : '';
  $('o-aviso').hidden = !c.aviso;
  $('o-aviso').textContent = c.aviso || '';
  $('o-cliente').textContent = clientText(c);
  $('o-mercadoria').textContent = c.embalagem ? 'Mercadoria: ' + c.embalagem : '';
  pieceRows($('o-pecas').tBodies[0], c.pecas, true);
  const pieces = c.pecas.reduce((n, p) => n + (p.volumes || 0), 0);
  const total = c.pecas.reduce((n, p) => n + volumeOf(p), 0);
  $('o-total-volumes').textContent = formatNumber(pieces);
  $('o-total-cubagem').textContent = cubicFormat.format(total) + ' m³';
  $('o-volumes').textContent = formatNumber(c.volumes);
  $('o-peso').textContent = formatKg(c.peso_kg);
  $('o-valor').textContent = formatMoney(c.valor_declarado);
  $('voltar-coleta').href = '#/coletas/' + c.id;
  await Promise.all([partyBlock($('o-remetente'), c.remetente_id),
    partyBlock($('o-destinatario'), c.destinatario_id)]);
}
