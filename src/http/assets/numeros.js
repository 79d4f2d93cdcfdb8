// Numbers, money, documents and dates as a Brazilian reads and types them.
// Parsing turns what the operator typed into what the API takes (JSON
// numbers; money as an exact decimal text) without rounding anything; the
// server's rules stay the authority on what is acceptable.

// What a Brazilian writes: digits grouped by '.' in threes (or not grouped at
// all), then optionally ',' and decimals. "1.5" is refused: a '.' that is not
// a thousands separator means the number was written another way.
const BRAZILIAN = /^(\d{1,3}(\.\d{3})+|\d+)(,\d+)?$/;
const WHOLE = /^(\d{1,3}(\.\d{3})+|\d+)$/;
const MAX_DIGITS = 15;  // significant digits a number may have (what a double keeps exactly)

// Units and currency an operator may type along with the number.
function bare(text) {
  return String(text)
    .replace(/^\s*R\$\s*/i, '')
    .replace(/\s*(kg|m)\s*$/i, '')
    .replace(/\u00a0/g, ' ')
    .trim();
}

// The exact decimal text ("1500.5") of a Brazilian number, or null.
function decimalText(text) {
  let t = bare(text);
  let sign = '';
  if (t.startsWith('-')) {
    sign = '-';
    t = t.slice(1).trim();
  }
  if (!BRAZILIAN.test(t)) return null;
  const [whole, fraction] = t.split(',');
  return sign + whole.replace(/\./g, '') + (fraction === undefined ? '' : '.' + fraction);
}

// { value } for an accepted entry (null for an empty one), { erro } otherwise.
// kind: 'inteiro' (counts, codes), 'decimal' (measures), 'dinheiro' (money,
// kept as exact text).
export function parseEntry(text, kind) {
  const t = bare(text ?? '');
  if (t === '') return { value: null };
  const exact = decimalText(t);
  if (kind === 'inteiro') {
    const digits = t.startsWith('-') ? t.slice(1).trim() : t;
    if (!WHOLE.test(digits)) return { erro: 'Informe um número inteiro, como 3 ou 1.500.' };
  } else if (exact === null) {
    return {
      erro: kind === 'dinheiro'
        ? 'Informe o valor no formato brasileiro, como 1.500,75.'
        : 'Informe o número no formato brasileiro, como 1.500,5 ou 0,25.',
    };
  }
  if (kind === 'dinheiro') return { value: exact };
  // A JSON number carries about 15 significant digits: more would be sent
  // as some other number than the one typed.
  if (exact.replace(/\D/g, '').replace(/^0+/, '').replace(/0+$/, '').length > MAX_DIGITS) {
    return { erro: 'Número com algarismos demais: use no máximo ' + MAX_DIGITS + '.' };
  }
  return { value: Number(exact) };
}

const grouped = new Intl.NumberFormat('pt-BR', { maximumFractionDigits: 4 });
const money = new Intl.NumberFormat('pt-BR', { style: 'currency', currency: 'BRL' });
const moneyPlain = new Intl.NumberFormat('pt-BR', { minimumFractionDigits: 2, maximumFractionDigits: 4 });

const empty = (v) => v === null || v === undefined || v === '';

// Money arrives as exact decimal text: Intl formats a numeric string without
// passing through a binary double.
export const formatMoney = (v) => (empty(v) ? '' : money.format(String(v)));
export const formatNumber = (v) => (empty(v) ? '' : grouped.format(v));
export const formatKg = (v) => (empty(v) ? '' : grouped.format(v) + ' kg');
export const formatMetres = (v) => (empty(v) ? '' : grouped.format(v) + ' m');

// A value as the operator would type it back into a field.
export function entryText(v, kind) {
  if (empty(v)) return '';
  if (kind === 'dinheiro') return moneyPlain.format(String(v));
  return grouped.format(v);
}

// CPF 123.456.789-09, CNPJ 12.345.678/0001-95; anything else as stored.
export function formatDocument(text) {
  if (!text) return '';
  const d = String(text).replace(/\D/g, '');
  if (d.length === 11) return d.replace(/^(\d{3})(\d{3})(\d{3})(\d{2})$/, '$1.$2.$3-$4');
  if (d.length === 14) return d.replace(/^(\d{2})(\d{3})(\d{3})(\d{4})(\d{2})$/, '$1.$2.$3/$4-$5');
  return String(text);
}

const day = new Intl.DateTimeFormat('pt-BR', { dateStyle: 'short', timeStyle: 'short' });
const dayOnly = new Intl.DateTimeFormat('pt-BR', { dateStyle: 'short' });

// "2024-03-15 09:30:00" (the server's local time) as 15/03/2024, 09:30.
export function formatDate(text) {
  const m = /^(\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2}))?/.exec(text || '');
  if (!m) return text || '';
  const [, y, mo, d, h, mi] = m;
  const date = new Date(Number(y), Number(mo) - 1, Number(d), Number(h || 0), Number(mi || 0));
  return (h === undefined ? dayOnly : day).format(date);
}

// Today as the date input and the API want it (YYYY-MM-DD, local time).
export function today() {
  const now = new Date();
  const two = (n) => String(n).padStart(2, '0');
  return now.getFullYear() + '-' + two(now.getMonth() + 1) + '-' + two(now.getDate());
}
