"""The operators' working day in headless Chromium driven by Selenium, once at
1366x900 with the keyboard only and once at a phone's 390x844 with taps:
a refused access key, the list and its client filter (kept in the address
across a reload), a Coleta with its parties by name, a party's card, the
party search, a new Coleta typed the Brazilian way (checked in the
database), three field errors at once and the server's own, an edit and
the Coleta's history,
Coleta 100 locked by its air waybills and another locked while open, the
print view on one A4 page, and the delete. axe-core checks every screen; a screenshot of each step goes to
SHOT_DIR/<size>/. Exits 77 (skipped) without Chromium or Selenium.
usage: browser_test.py Z418KT_BINARY SHOT_DIR TOOLS_DIR"""

import base64
import importlib.util
import itertools
import json
import os
import re
import shutil
import sqlite3
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
from server_fixture import TOKEN, Server  # noqa: E402

CHROMIUM, DRIVER = shutil.which("chromium"), shutil.which("chromedriver")
if not (CHROMIUM and DRIVER and importlib.util.find_spec("selenium")):
    print("chromium, chromedriver or selenium is not installed: skipped")
    sys.exit(77)
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.common.exceptions import StaleElementReferenceException  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support import expected_conditions as EC  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

MAX_TABS = 150  # Tab presses to reach one control from wherever the focus is
WAIT_S = 20  # for the page to show what a step expects (a sanitized server is slow)
SIZES = (("1366x900", 1366, 900, True), ("390x844", 390, 844, False))


class Day:
    """One operator at one screen size; `keyboard` drives every control with
    Tab, Enter and typing only."""

    def __init__(self, driver, server, shots, axe, keyboard, width):
        self.d, self.s, self.axe, self.keyboard, self.width = driver, server, axe, keyboard, width
        self.base = "http://127.0.0.1:%d/" % server.port
        # The page draws a screen again as its answers arrive: an element read
        # while it is replaced is read again on the next poll.
        self.wait = WebDriverWait(driver, WAIT_S,
                                  ignored_exceptions=(StaleElementReferenceException,))
        self.step = itertools.count(1)
        self.shots = shots
        self.violations = []
        self.started = time.monotonic()

    def el(self, id_):
        return self.d.find_element(By.ID, id_)

    def text(self, id_):
        return self.el(id_).text.replace("\u00a0", " ")

    def text_is(self, id_, fragment):
        self.wait.until(lambda d: fragment in self.text(id_), "%s: %r" % (id_, fragment))

    def check(self, name):
        """A screenshot, axe-core on the screen as it is, and no sideways scrolling."""
        self.d.save_screenshot(os.path.join(self.shots, "%02d-%s.png" % (next(self.step), name)))
        print("  %6.1f s %s" % (time.monotonic() - self.started, name), flush=True)
        if self.axe:
            if not self.d.execute_script("return typeof axe === 'object'"):  # once a page load
                self.d.execute_script(self.axe)
            result = self.d.execute_async_script(
                "const done = arguments[0]; axe.run(document).then((r) => done(r.violations))"
                ".catch((e) => done([{id: 'axe failed', nodes: [String(e)]}]));")
            for v in result:
                targets = [n.get("target") if isinstance(n, dict) else n for n in v["nodes"]]
                self.violations.append("%s: %s %s" % (name, v["id"], targets[:3]))
        wide = self.d.execute_script("return document.documentElement.scrollWidth")
        assert wide <= self.width, "%s: %d pixels wide" % (name, wide)

    # ----- the operator's hands -----

    def focus(self, element):
        """The keyboard reaches `element` by Tab (or Shift+Tab) alone."""
        behind = self.d.execute_script(
            "return !!(arguments[0].compareDocumentPosition(document.activeElement) &"
            " Node.DOCUMENT_POSITION_FOLLOWING)", element)
        keys = (Keys.SHIFT, Keys.TAB) if behind else (Keys.TAB,)
        for _ in range(MAX_TABS):
            active = self.d.switch_to.active_element
            if active == element:
                return
            active.send_keys(*keys)
        raise AssertionError("not reachable with Tab: " + element.get_attribute("outerHTML")[:120])

    def press(self, element):
        if self.keyboard:
            self.focus(element)
            element.send_keys(Keys.ENTER)
        else:
            element.click()

    def type(self, id_or_element, value):
        e = self.el(id_or_element) if isinstance(id_or_element, str) else id_or_element
        if self.keyboard:
            self.focus(e)
        else:
            e.click()
        e.send_keys(Keys.CONTROL, "a")  # the modifier is let go after each call
        e.send_keys(Keys.DELETE, value)

    def go(self, hash_):
        """The menu's link to a screen, as an operator would take it."""
        self.press(self.d.find_element(By.CSS_SELECTOR, '#menu a[href="%s"]' % hash_))

    def piece_inputs(self, index):
        item = self.d.find_elements(By.CSS_SELECTOR, "#pecas > li")[index]
        return item.find_elements(By.TAG_NAME, "input")

    def summary(self):
        return [e.text for e in self.d.find_elements(By.CSS_SELECTOR, "#resumo-lista a")]

    def stored(self, coleta):
        """(weight, value, [lengths]) of a Coleta as the database holds them."""
        path = re.search(r"Data Source=([^;]+)", self.s.db).group(1)
        with sqlite3.connect(path) as db:
            head = db.execute("SELECT PESO_REAL, VAL_DECLARADO FROM DOCTO_TRANSPORTE "
                              "WHERE DOCTO_TRANSPORTE_ID = ?", (coleta,)).fetchone()
            lengths = [r[0] for r in db.execute(
                "SELECT COMPRIMENTO_M FROM CARGA WHERE DOCTO_TRANSPORTE_ID = ? ORDER BY CARGA_ID",
                (coleta,))]
        return head[0], head[1], lengths

    def pdf_pages(self):
        pdf = self.d.execute_cdp_cmd("Page.printToPDF", {
            "paperWidth": 8.27, "paperHeight": 11.69, "preferCSSPageSize": True})
        return len(re.findall(rb"/Type\s*/Page[^s]", base64.b64decode(pdf["data"])))

    # ----- the day -----

    def walk(self):
        d = self.d
        d.get(self.base + "#/coletas?cliente=2")
        self.wait.until(EC.visibility_of_element_located((By.ID, "token")))
        self.type("token", "chave-errada" + Keys.ENTER)
        self.text_is("erro-token", "chave de acesso foi recusada")
        assert "Authorization" not in self.text("erro-token")
        self.check("chave-recusada")
        self.type("token", TOKEN + Keys.ENTER)  # the address asked for waits for the key
        self.wait.until(EC.visibility_of_element_located((By.ID, "tela-lista")))
        assert self.el("filtro-cliente").get_attribute("value") == "2"

        self.go("#/coletas")
        self.wait.until(lambda d: d.execute_script("return location.hash") == "#/coletas")
        row = self.wait.until(EC.visibility_of_element_located(
            (By.XPATH, "//table[@id='lista']//tr[.//a[@href='#/coletas/100']]")))
        self.wait.until(lambda d: "Campinas" in row.text)  # the sender's city, read after
        text = row.text.replace("\u00a0", " ")
        for shown in ("R$ 1.500,75", "125,5 kg", "Aurora", "Maria da Silva", "15/03/2024"):
            assert shown in text, (shown, text)
        self.check("lista")
        if self.keyboard:  # one Coleta a page: the next page, and back to the first
            numbers = lambda: [a.text for a in d.find_elements(  # noqa: E731
                By.CSS_SELECTOR, "#lista td:first-child a")]
            d.get(self.base + "#/coletas?limite=1")
            self.wait.until(lambda d: numbers() == ["110"])
            self.press(self.el("proxima-pagina"))
            self.wait.until(lambda d: numbers() == ["100"])
            assert "cursor=" in d.execute_script("return location.hash")
            self.check("proxima-pagina")
            self.press(self.el("primeira-pagina"))
            self.wait.until(lambda d: numbers() == ["110"])
            assert d.execute_script("return location.hash") == "#/coletas?limite=1"

        # Find the Coletas of a client by name; a phone opens on the list, its
        # filters folded away.
        assert bool(self.el("caixa-filtros").get_attribute("open")) == self.keyboard
        if not self.el("caixa-filtros").get_attribute("open"):
            self.press(self.d.find_element(By.CSS_SELECTOR, "#caixa-filtros summary"))
        self.type("filtro-cliente", "aurora")
        self.wait.until(EC.visibility_of_element_located(
            (By.CSS_SELECTOR, "#filtro-cliente-opcoes button")))
        if self.keyboard:
            self.el("filtro-cliente").send_keys(Keys.ENTER)  # Enter takes the first match
        else:
            d.find_element(By.CSS_SELECTOR, "#filtro-cliente-opcoes button").click()
        assert self.el("filtro-cliente").get_attribute("value") == "2"
        self.press(self.el("filtrar"))
        self.wait.until(lambda d: d.execute_script("return location.hash") == "#/coletas?cliente=2")
        d.refresh()  # the address keeps the filter
        self.wait.until(lambda d: self.el("filtro-cliente").get_attribute("value") == "2")
        self.wait.until(EC.visibility_of_element_located((By.CSS_SELECTOR, "#lista a")))
        numbers = [a.text for a in d.find_elements(By.CSS_SELECTOR, "#lista td:first-child a")]
        assert numbers == ["100"], numbers  # 110 is another client's
        self.text_is("filtro-cliente-quem", "Aurora Comércio de Peças Ltda.")
        self.check("filtro-cliente")

        # Open it and see who its parties are.
        self.press(d.find_element(By.CSS_SELECTOR, "#lista a[href='#/coletas/100']"))
        self.text_is("r-id", "100")
        self.text_is("r-remetente", "Aurora Comércio de Peças Ltda. — Avenida Brasil, 2500, Campinas")
        self.text_is("r-destinatario", "Maria da Silva")
        assert self.text("r-peso") == "125,5 kg" and self.text("r-valor") == "R$ 1.500,75"
        # Its air waybills lock it: both buttons disabled, the warning as the reason.
        assert not self.el("editar").is_enabled() and not self.el("excluir").is_enabled()
        assert "AWBs emitidas" in self.text("bloqueio")
        assert self.el("editar").get_attribute("aria-describedby") == "bloqueio"
        self.check("coleta-100-bloqueada")
        d.get(self.base + "#/coletas/100/editar")  # nor does its address open the form
        self.text_is("mensagem", "não pode ser editada")
        assert not self.el("tela-coleta").get_attribute("hidden")

        self.press(d.find_element(By.CSS_SELECTOR, "#r-remetente a"))
        self.text_is("p-doc", "12.345.678/0001-95")
        for id_, shown in (("p-tipo", "Pessoa jurídica"), ("p-municipio", "Campinas"),
                           ("p-iata", "VCP"), ("p-endereco", "Avenida Brasil, 2500")):
            assert self.text(id_) == shown, (id_, self.text(id_))
        self.check("pessoa")

        self.go("#/pessoas")
        self.type("busca-pessoa", "123.456" + Keys.ENTER)  # a CPF's start
        self.text_is("pessoas", "Maria da Silva")
        self.text_is("pessoas", "CPF 123.456.789-09")
        self.check("busca-pessoas")

        number = self.create()
        self.edit(number)
        self.history()
        self.locked_meanwhile(self.print_view(number))

        d.get(self.base + "#/coletas/" + number)
        self.text_is("r-id", number)
        self.press(self.el("excluir"))
        self.wait.until(EC.visibility_of_element_located((By.ID, "confirmacao")))
        assert d.switch_to.active_element == self.el("cancelar-exclusao")  # the safe choice first
        self.check("confirmacao")
        self.press(self.el("confirmar-exclusao"))
        self.text_is("mensagem", "Coleta %s excluída." % number)
        self.type("numero", number + Keys.ENTER)
        self.text_is("mensagem", "não encontrada")
        self.check("excluida")

        errors = [e for e in d.get_log("browser") if e["source"] == "javascript"]
        assert not errors, errors

    def create(self):
        d = self.d
        self.go("#/coletas/nova")
        self.wait.until(EC.visibility_of_element_located((By.ID, "tela-edicao")))
        for field, value in (("remetente_id", "12"), ("destinatario_id", "11"), ("volumes", "3"),
                             ("peso_kg", "1,500.5"), ("valor_declarado", "1.500.75")):
            self.type("campo-" + field, value)
        self.text_is("campo-remetente_id-quem", "Aurora Comércio de Peças Ltda., Campinas")
        self.text_is("campo-destinatario_id-quem", "Maria da Silva, São Paulo")
        for piece in (("1,2", "0,25", "1.500,5", "2"), ("0,5", "0.25", "0,25", "1")):
            self.press(self.el("adicionar-peca"))
            for input_, value in zip(self.piece_inputs(-1), piece):
                self.type(input_, value)
        self.press(self.el("gravar"))
        # Three numbers not written the Brazilian way, refused at once next to
        # their fields, and nothing sent.
        self.wait.until(lambda d: len(self.summary()) == 3)
        assert self.summary()[0].startswith("Peso (kg): Informe o número no formato brasileiro")
        assert "Altura da peça 2" in self.summary()[2]
        for id_ in ("campo-peso_kg-erro", "campo-valor_declarado-erro"):
            assert "formato brasileiro" in self.text(id_)
        assert self.piece_inputs(1)[1].get_attribute("aria-invalid") == "true"
        assert d.switch_to.active_element == self.el("resumo-erros")
        self.check("tres-erros")
        self.press(d.find_elements(By.CSS_SELECTOR, "#resumo-lista a")[1])  # the summary leads
        assert d.switch_to.active_element == self.el("campo-valor_declarado")  # to each field

        self.type("campo-peso_kg", "1.500")
        self.type("campo-valor_declarado", "R$ 1.500,75")
        self.type(self.piece_inputs(1)[1], "0,25")
        # The server's rules, all at once: no client, an unknown sender, a
        # piece without width.
        self.type("campo-remetente_id", "99999")
        self.text_is("campo-remetente_id-quem", "Nenhuma pessoa com este código")
        self.type(self.piece_inputs(1)[0], "0")
        self.press(self.el("gravar"))
        self.wait.until(lambda d: len(self.summary()) == 3)
        assert [m.split()[-3:] for m in self.summary()][1] == ["99999", "não", "encontrado."]
        width = self.piece_inputs(1)[0]
        for id_, shown in (("campo-cliente_id-erro", "O campo Cliente é obrigatório."),
                           ("campo-remetente_id-erro", "Remetente 99999 não encontrado."),
                           (width.get_attribute("id") + "-erro", "Largura da peça 2")):
            assert shown in self.text(id_), (id_, self.text(id_))
        assert width.get_attribute("aria-invalid") == "true"
        self.check("erros-do-servidor")
        self.type("campo-remetente_id", "12")
        self.type(width, "0,5")

        self.type("campo-cliente_id", "12.345.678/0001")  # a CNPJ's start
        self.wait.until(EC.visibility_of_element_located(
            (By.CSS_SELECTOR, "#campo-cliente_id-opcoes button")))
        self.press(d.find_element(By.CSS_SELECTOR, "#campo-cliente_id-opcoes button"))
        self.text_is("campo-cliente_id-quem", "Aurora Comércio de Peças Ltda.")
        self.type("campo-embalagem", "Caixas")
        self.press(self.el("gravar"))
        self.text_is("mensagem", "criada")
        number = self.text("r-id")
        assert self.text("r-peso") == "1.500 kg" and self.text("r-valor") == "R$ 1.500,75"
        cells = [c.text for c in d.find_elements(By.CSS_SELECTOR, "#r-pecas td")]
        assert cells[:5] == ["1", "1,2 m", "0,25 m", "1.500,5 m", "2"], cells
        assert self.stored(number) == (1500, 1500.75, [1500.5, 0.25]), self.stored(number)
        self.check("criada")

        self.go("#/coletas")  # today's Coletas: the new one, not the demo's
        if not self.el("caixa-filtros").get_attribute("open"):
            self.press(self.d.find_element(By.CSS_SELECTOR, "#caixa-filtros summary"))
        self.press(self.el("hoje"))
        today = time.strftime("%Y-%m-%d")
        self.wait.until(lambda d: d.execute_script("return location.hash") ==
                        "#/coletas?desde=%s&ate=%s" % (today, today))
        self.wait.until(EC.visibility_of_element_located(
            (By.CSS_SELECTOR, "#lista a[href='#/coletas/%s']" % number)))
        assert not d.find_elements(By.CSS_SELECTOR, "#lista a[href='#/coletas/100']")
        self.check("hoje")
        d.back()  # Back, twice, returns through the whole list to the Coleta
        self.wait.until(lambda d: d.execute_script("return location.hash") == "#/coletas")
        d.back()
        self.text_is("r-id", number)
        return number

    def edit(self, number):
        self.press(self.el("editar"))
        self.wait.until(EC.visibility_of_element_located((By.ID, "tela-edicao")))
        assert self.el("campo-peso_kg").get_attribute("value") == "1.500"  # typed back as shown
        self.type("campo-peso_kg", "1.234,5")
        self.type(self.piece_inputs(1)[3], "4")
        self.check("edicao")
        self.press(self.el("gravar"))
        self.text_is("mensagem", "Coleta %s gravada." % number)
        assert self.text("r-peso") == "1.234,5 kg"
        assert self.stored(number)[0] == 1234.5

    def history(self):
        """The Histórico tab: the creation and the edit, oldest first, each with
        who made it and what changed."""
        if self.keyboard:  # the tabs' own keys: the arrow moves to the next tab
            self.focus(self.el("aba-dados"))
            self.el("aba-dados").send_keys(Keys.ARROW_RIGHT)
            assert self.d.switch_to.active_element == self.el("aba-historico")
        else:
            self.el("aba-historico").click()
        self.wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#eventos > li")) == 2)
        created, edited = [e.text.replace("\u00a0", " ")
                           for e in self.d.find_elements(By.CSS_SELECTOR, "#eventos > li")]
        assert created.startswith("Criada em") and "Por usuário" in created, created
        assert edited.startswith("Alterada em") and "Por usuário" in edited, edited
        assert "Peso 1.500 kg 1.234,5 kg" in edited, edited
        assert "Peças" in edited and "4 volumes" in edited, edited
        assert self.el("painel-dados").get_attribute("hidden")
        self.check("historico")

    def print_view(self, number):
        self.press(self.el("imprimir"))
        self.text_is("o-id", number)
        self.text_is("o-remetente", "CNPJ 12.345.678/0001-95")
        assert self.text("o-peso") == "1.234,5 kg" and self.text("o-total-volumes") == "6"
        assert self.pdf_pages() == 1
        self.check("impressao")
        # Twenty pieces still fit one A4 page.
        pieces = [{"largura_m": 0.5, "altura_m": 0.5, "comprimento_m": 0.5, "volumes": 1}] * 20
        status, _, body, _ = self.s.client().request("POST", "/v1/coletas", {
            "cliente_id": 2, "remetente_id": 12, "destinatario_id": 11, "volumes": 20,
            "peso_kg": 200, "valor_declarado": "5000.00", "embalagem": "Caixas", "pecas": pieces})
        assert status == 201, body
        self.d.get(self.base + "#/coletas/%d/imprimir" % body["id"])
        self.text_is("o-total-volumes", "20")
        self.text_is("o-destinatario", "Rua das Flores")
        assert self.pdf_pages() == 1
        self.check("impressao-20-pecas")
        return body["id"]

    def locked_meanwhile(self, coleta):
        """An air waybill issued while the Coleta is open: the delete is refused
        with the warning, and nothing is deleted."""
        self.d.get(self.base + "#/coletas/%d" % coleta)
        self.text_is("r-id", str(coleta))
        path = re.search(r"Data Source=([^;]+)", self.s.db).group(1)
        with sqlite3.connect(path) as db:
            db.execute(
                "INSERT INTO DOCTO_TRANSPORTE (DOCTO_TRANSPORTE_ID, EMPRESA_ID, DATA_EMISSAO, "
                "CLIENTE_ID, END_DESTINATARIO_ID, END_REMETENTE_ID, NUM_VOLUME, PESO_REAL, "
                "TAB_STATUS_ID, TAB_TIPO_DOCTO_TRANSP_ID, TXT_EMBALAGEM, VAL_DECLARADO, "
                "NUM_DOCTO_TRANSPORTE, DOCTO_TRANSP_PAI_ID) VALUES "
                "(9000, 1, '2024-05-02 10:00:00', 2, 11, 12, 1, 1, 1, 115, 'Caixas', 0, 9000, ?)",
                (coleta,))
        self.press(self.el("excluir"))
        self.text_is("mensagem", "não pode ser excluída: Não será possível efetuar alterações")
        assert self.el("confirmacao").get_attribute("hidden")  # no question asked
        assert not self.el("editar").is_enabled() and not self.el("excluir").is_enabled()
        assert self.stored(coleta)[0] == 200
        self.check("bloqueada-enquanto-aberta")


def main(binary, shots, tools):
    axe_path = os.path.join(tools, "node_modules", "axe-core", "axe.min.js")
    with open(axe_path) as f:
        axe = f.read()
    failures = []
    for name, width, height, keyboard in SIZES:
        folder = os.path.join(shots, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        started = time.monotonic()
        with tempfile.TemporaryDirectory(prefix="z418kt-chromium-", ignore_cleanup_errors=True) as \
                profile, Server(binary) as s:
            options = webdriver.ChromeOptions()
            options.binary_location = CHROMIUM
            options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
            for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                         "--disable-background-networking", "--disable-component-update",
                         "--disable-sync", "--disable-dev-shm-usage", "--lang=pt-BR",
                         "--user-data-dir=" + profile, "--window-size=%d,%d" % (max(width, 500),
                                                                                 height)):
                options.add_argument(flag)
            driver = webdriver.Chrome(service=Service(DRIVER), options=options)
            try:
                # Headless windows cannot be narrower than 500 pixels: a phone is emulated.
                driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                    "width": width, "height": height, "deviceScaleFactor": 1,
                    "mobile": width < 500})
                driver.set_script_timeout(30)
                day = Day(driver, s, folder, axe, keyboard, width)
                day.walk()
                failures += day.violations
                print("%s%s: the day's tasks done in %.0f s" % (
                    name, " (keyboard only)" if keyboard else "", time.monotonic() - started))
            except Exception:
                driver.save_screenshot(os.path.join(folder, "falha.png"))
                raise
            finally:
                driver.quit()
    assert not failures, "axe-core:\n" + "\n".join(failures)
    print(json.dumps({"screenshots": shots}))
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main(*sys.argv[1:4])
