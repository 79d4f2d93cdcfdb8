// The page's reading and writing of Brazilian numbers, money, documents and
// dates, in Node (the same Intl data as the browser).
// usage: node --test numeros_test.mjs   (run from the source tree)
import assert from 'node:assert/strict';
import test from 'node:test';
import {
  entryText, formatDate, formatDocument, formatKg, formatMetres, formatMoney, parseEntry,
} from '../../src/http/assets/numeros.js';

const value = (text, kind) => parseEntry(text, kind).value;
const refused = (text, kind) => typeof parseEntry(text, kind).erro === 'string';

test('typed numbers are read the Brazilian way, exactly, or refused', () => {
  // '.' groups thousands, ',' starts the decimals.
  assert.equal(value('1.500', 'decimal'), 1500);
  assert.equal(value('1.500,5', 'decimal'), 1500.5);
  assert.equal(value('0,25', 'decimal'), 0.25);
  assert.equal(value('1500,5', 'decimal'), 1500.5);
  assert.equal(value('1.234.567', 'inteiro'), 1234567);
  assert.equal(value(' 125,5 kg ', 'decimal'), 125.5);
  assert.equal(value('', 'decimal'), null);
  // Money stays exact text, whatever its size.
  assert.equal(value('R$ 1.500,75', 'dinheiro'), '1500.75');
  assert.equal(value('12.345.678.901.234.567,89', 'dinheiro'), '12345678901234567.89');
  // Another country's writing, or a typo, is refused, never guessed.
  for (const text of ['1,500.5', '1.5', '12.34', '1.500.75', '1,2,3', '12,', ',5', 'abc', '1e3', '1 500'])
    assert.ok(refused(text, 'decimal'), text);
  for (const text of ['2,5', '1.5', 'x']) assert.ok(refused(text, 'inteiro'), text);
  assert.ok(refused('1.500.75', 'dinheiro'));
  // A number that would not survive as a JSON number is refused.
  assert.ok(refused('1234567890123,4567', 'decimal'));
  assert.ok(refused('12345678901234567', 'inteiro'));
  assert.equal(value('1.000.000.000.000.000.000', 'inteiro'), 1e18);
});

test('values are shown as a Brazilian reads them and typed back the same way', () => {
  const plain = (s) => s.replace(/\u00a0/g, ' ');
  assert.equal(plain(formatMoney('1500.75')), 'R$ 1.500,75');
  assert.equal(plain(formatMoney('12345678901234567.89')), 'R$ 12.345.678.901.234.567,89');
  assert.equal(formatKg(125.5), '125,5 kg');
  assert.equal(formatKg(1500), '1.500 kg');
  assert.equal(formatMetres(0.25), '0,25 m');
  assert.equal(formatMoney(null), '');
  for (const [v, kind] of [[1500.5, 'decimal'], ['1500.75', 'dinheiro'], [3, 'inteiro']])
    assert.equal(value(entryText(v, kind), kind), v);
  assert.equal(formatDocument('12345678909'), '123.456.789-09');
  assert.equal(formatDocument('12.345.678/0001-95'), '12.345.678/0001-95');
  assert.equal(formatDocument('12345678000195'), '12.345.678/0001-95');
  assert.equal(formatDocument('123'), '123');
  assert.equal(formatDate('2024-03-15 09:30:00'), '15/03/2024, 09:30');
  assert.equal(formatDate('2024-03-15'), '15/03/2024');
  assert.equal(formatDate('ontem'), 'ontem');
});
