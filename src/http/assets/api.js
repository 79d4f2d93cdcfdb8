// The /v1 API of the server that serves this page. The access key lives in
// this tab's session storage only, so closing the tab forgets it.

const KEY = 'z418kt-token';
const TIMEOUT_MS = 30000;  // a request that takes longer is reported as failed

export const token = () => sessionStorage.getItem(KEY) || '';
export const setToken = (t) => sessionStorage.setItem(KEY, t);
export const forgetToken = () => sessionStorage.removeItem(KEY);

let onRefused = () => {};
// What to do when the server refuses the key (401): the page asks again.
export function whenKeyRefused(handler) { onRefused = handler; }

export const KEY_REFUSED = 'A chave de acesso foi recusada. Confira-a e informe-a novamente.';

// { status, body }; status 0 when the server could not be reached.
export async function api(method, path, body, headers = {}) {
  const init = { method, headers: { Authorization: 'Bearer ' + token(), ...headers } };
  if (body !== undefined) {
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  init.signal = AbortSignal.timeout(TIMEOUT_MS);
  let response;
  try {
    response = await fetch(path, init);
  } catch (e) {
    const late = e && e.name === 'TimeoutError';
    return { status: 0, body: { detail: late ? 'O servidor não respondeu a tempo. Tente novamente.'
      : 'Servidor inacessível. Verifique a conexão e tente novamente.' } };
  }
  const text = await response.text();
  let parsed = null;
  try {
    parsed = text ? JSON.parse(text) : null;
  } catch (e) {
    parsed = { detail: text };
  }
  if (response.status === 401) {
    onRefused(KEY_REFUSED);
    parsed = { ...(parsed || {}), detail: KEY_REFUSED };
  }
  return { status: response.status, body: parsed };
}

// A query string of the given parameters that have a value.
export function query(params) {
  const q = new URLSearchParams();
  for (const [k, v] of Object.entries(params)) if (v !== undefined && v !== null && v !== '') q.set(k, v);
  const s = q.toString();
  return s ? '?' + s : '';
}

// The sentence to show for a failed answer.
export function problemText(r, fallback) {
  if (r.body && typeof r.body.detail === 'string' && r.body.detail) return r.body.detail;
  if (r.status === 503) return 'O banco de dados não respondeu. Tente novamente em instantes.';
  return fallback;
}
