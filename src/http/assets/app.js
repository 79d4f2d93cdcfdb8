// The operators' page: the screens and the address that names them.
//   #/coletas?cliente=2&remetente=12&destinatario=11&desde=..&ate=..&cursor=..
//   #/coletas/100  #/coletas/100/editar  #/coletas/100/imprimir  #/coletas/nova
//   #/pessoas?q=aurora  #/pessoas/12
// Without an access key only the key's form shows; the address waits.
import { forgetToken, problemText, setToken, token, whenKeyRefused } from './api.js';
import { deleteColeta, locked, readColeta, showColeta, showOrder } from './coleta.js';
import { addPiece, editing, openForm, save } from './formulario.js';
import { showHistory, wireTabs } from './historico.js';
import { clearFilters, filtersFromForm, showList, todayFilter } from './lista.js';
import { partyField, showCard, showSearch } from './pessoas.js';

const $ = (id) => document.getElementById(id);
const SCREENS = ['acesso', 'tela-lista', 'tela-coleta', 'tela-edicao', 'tela-pessoas', 'tela-pessoa',
  'tela-impressao'];

let shown = null;   // the Coleta on the Coleta screen
let pending = '';   // a message to show on the next screen
let keyMessage = '';
let showData = () => {};  // selects the Coleta screen's Dados tab

function say(message) { $('mensagem').textContent = message || ''; }

function show(screen, focus) {
  for (const s of SCREENS) $(s).hidden = s !== screen;
  $('menu').hidden = screen === 'acesso';
  const active = { 'tela-lista': 'lista', 'tela-edicao': 'edicao', 'tela-pessoas': 'pessoas' }[screen];
  document.querySelectorAll('#menu a').forEach((a) => {
    if (a.dataset.tela === active && !(active === 'edicao' && editing())) a.setAttribute('aria-current', 'page');
    else a.removeAttribute('aria-current');
  });
  const heading = focus && $(focus);
  if (heading) heading.focus();
}

function go(hash, message) {
  pending = message || '';
  if (location.hash === hash) route();
  else location.hash = hash;
}

async function route() {
  const message = pending;
  pending = '';
  // The message of what was just done shows with the screen it leads to,
  // not over the screen being left.
  say('');
  if (!token()) {
    show('acesso');
    $('erro-token').textContent = keyMessage;
    $('token').focus();
    return;
  }
  const [path, search] = (location.hash.replace(/^#/, '') || '/coletas').split('?');
  const params = new URLSearchParams(search || '');
  const parts = path.split('/').filter(Boolean);
  const title = (t) => { document.title = t + ' — Coletas'; };

  if (parts[0] === 'pessoas' && parts[1]) {
    title('Pessoa');
    if (await showCard(parts[1], say)) {
      title($('titulo-pessoa').textContent);
      show('tela-pessoa', 'titulo-pessoa');
    }
    return;
  }
  if (parts[0] === 'pessoas') {
    title('Pessoas');
    show('tela-pessoas', 'titulo-pessoas');
    await showSearch(params, say);
    return;
  }
  if (parts[0] === 'coletas' && parts[1] === 'nova') {
    title('Nova Coleta');
    openForm(null);
    show('tela-edicao', 'titulo-edicao');
    return;
  }
  if (parts[0] === 'coletas' && parts[1]) {
    const { status, coleta, r } = await readColeta(parts[1]);
    if (status !== 200) {
      title('Lista de Coletas');
      show('tela-lista');
      say(problemText(r, 'A Coleta não pôde ser lida.'));
      $('numero').focus();
      return;
    }
    shown = coleta;
    if (parts[2] === 'editar' && !locked(coleta)) {
      title('Editar Coleta ' + coleta.id);
      openForm(coleta);
      show('tela-edicao', 'titulo-edicao');
      return;
    }
    if (parts[2] === 'imprimir') {
      title('Ordem de Coleta ' + coleta.id);
      show('tela-impressao', 'titulo-impressao');
      await showOrder(coleta);
      return;
    }
    title('Coleta ' + coleta.id);
    showColeta(coleta);
    showData();
    show('tela-coleta', 'titulo-coleta');
    say(message);
    if (parts[2] === 'editar') say('Esta Coleta não pode ser editada: ' + (coleta.aviso || 'há conhecimentos aéreos emitidos.'));
    return;
  }
  title('Lista de Coletas');
  show('tela-lista', message ? null : 'titulo-lista');
  await showList(params, (m) => say(message || m));
}

function wire() {
  whenKeyRefused((m) => {
    forgetToken();
    keyMessage = m;
    route();
  });
  $('form-token').addEventListener('submit', (e) => {
    e.preventDefault();
    const t = $('token').value.trim();
    if (!t) {
      $('erro-token').textContent = 'Informe a chave de acesso.';
      return;
    }
    setToken(t);
    $('token').value = '';
    keyMessage = '';
    $('erro-token').textContent = '';
    route();
  });
  $('sair').addEventListener('click', () => {
    forgetToken();
    keyMessage = '';
    route();
  });

  document.querySelectorAll('.parte input').forEach(partyField);
  $('form-filtros').addEventListener('submit', (e) => {
    e.preventDefault();
    const hash = filtersFromForm();
    if (hash) go(hash);
  });
  $('hoje').addEventListener('click', () => {
    todayFilter();
    const hash = filtersFromForm();
    if (hash) go(hash);
  });
  $('limpar-filtros').addEventListener('click', () => {
    clearFilters();
    go('#/coletas');
  });
  $('form-numero').addEventListener('submit', (e) => {
    e.preventDefault();
    const n = $('numero').value.trim().replace(/\./g, '');
    if (!/^\d{1,10}$/.test(n)) {
      say('Informe o número da Coleta, só com algarismos.');
      $('numero').focus();
      return;
    }
    go('#/coletas/' + n);
  });

  showData = wireTabs(() => showHistory(shown.id));
  $('editar').addEventListener('click', () => go('#/coletas/' + shown.id + '/editar'));
  // The Coleta is read again before the question: air waybills issued since
  // it was opened lock it, and the screen then says so instead of asking.
  $('excluir').addEventListener('click', async () => {
    const { status, coleta, r } = await readColeta(shown.id);
    if (status === 200 && locked(coleta)) {
      shown = coleta;
      showColeta(coleta);
      say('Esta Coleta não pode ser excluída: ' + (coleta.aviso || 'há conhecimentos aéreos emitidos.'));
      $('bloqueio').focus();
      return;
    }
    if (status !== 200) {
      say(problemText(r, 'A Coleta não pôde ser lida.'));
      return;
    }
    $('confirmacao').hidden = false;
    $('cancelar-exclusao').focus();
  });
  $('cancelar-exclusao').addEventListener('click', () => {
    $('confirmacao').hidden = true;
    $('excluir').focus();
  });
  $('confirmar-exclusao').addEventListener('click', async () => {
    const id = shown.id;
    const { status, message } = await deleteColeta(id);
    if (status === 204) go('#/coletas', message);
    else if (status === 409) go('#/coletas/' + id, message);  // locked meanwhile: read it again
    else {
      say(message);
      $('excluir').focus();
    }
  });
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && !$('confirmacao').hidden) $('cancelar-exclusao').click();
  });

  $('adicionar-peca').addEventListener('click', () => addPiece(null).querySelector('input').focus());
  $('form-coleta').addEventListener('submit', async (e) => {
    e.preventDefault();
    const wasNew = editing() === 0;
    $('gravar').disabled = true;  // one save at a time
    try {
      const saved = await save();
      if (saved && saved.conflito) go('#/coletas/' + editing(), saved.conflito);
      else if (saved) go('#/coletas/' + saved.id, 'Coleta ' + saved.id + (wasNew ? ' criada.' : ' gravada.'));
    } finally {
      $('gravar').disabled = false;
    }
  });
  $('cancelar-edicao').addEventListener('click', () => go(editing() ? '#/coletas/' + editing() : '#/coletas'));

  $('form-pessoas').addEventListener('submit', (e) => {
    e.preventDefault();
    const q = $('busca-pessoa').value.trim();
    go('#/pessoas' + (q ? '?' + new URLSearchParams({ q }) : ''));
  });
  $('mandar-imprimir').addEventListener('click', () => window.print());

  window.addEventListener('hashchange', route);
  route();
}

wire();
