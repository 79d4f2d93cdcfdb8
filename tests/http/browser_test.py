"""The operators' page in headless Chromium driven by Selenium, at a phone's
width: token, a new Coleta with two pieces, reading it back, editing a piece,
a refusal next to its field, deleting after the confirmation. A screenshot of
each step goes to SHOT_DIR. Exits 77 (skipped) without Chromium or Selenium.
usage: browser_test.py Z418KT_BINARY SHOT_DIR"""

import importlib.util
import itertools
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))
from server_fixture import TOKEN, Server  # noqa: E402

CHROMIUM, DRIVER = shutil.which("chromium"), shutil.which("chromedriver")
if not (CHROMIUM and DRIVER and importlib.util.find_spec("selenium")):
    print("chromium, chromedriver or selenium is not installed: skipped")
    sys.exit(77)
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support import expected_conditions as EC  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402


def walk_through(driver, port, shot):
    wait = WebDriverWait(driver, 10)
    el = lambda id: driver.find_element(By.ID, id)  # noqa: E731
    cells = lambda: [c.text for c in driver.find_elements(By.CSS_SELECTOR, "#r-pecas td")]  # noqa

    def text_is(id, fragment):
        wait.until(EC.text_to_be_present_in_element((By.ID, id), fragment))

    def type_into(input_, value):
        input_.send_keys(Keys.CONTROL, "a")  # the modifier is let go after each call
        input_.send_keys(Keys.DELETE, value)

    driver.get("http://127.0.0.1:%d/" % port)
    el("token").send_keys(TOKEN, Keys.ENTER)
    wait.until(EC.visibility_of_element_located((By.ID, "token-ok")))
    shot("token")

    # A new Coleta with two pieces, entered with the keyboard.
    el("nova").click()
    for field, value in (("cliente_id", "2"), ("remetente_id", "12"), ("destinatario_id", "11"),
                         ("volumes", "3"), ("peso_kg", "42,5"), ("valor_declarado", "1.500,75"),
                         ("embalagem", "Caixas")):
        el("campo-" + field).send_keys(value)
    text_is("info-remetente_id", "(P")  # the party's name, city and kind as typed
    for piece in (("0,5", "0,4", "0,3", "2"), ("1,2", "0,8", "0,6", "1")):
        el("adicionar-peca").click()
        row = driver.find_elements(By.CSS_SELECTOR, "#pecas tbody tr")[-1]
        for input_, value in zip(row.find_elements(By.TAG_NAME, "input"), piece):
            input_.send_keys(value)
    shot("nova-coleta")
    el("gravar").click()
    text_is("mensagem", "criada")
    number = el("r-id").text
    assert len(driver.find_elements(By.CSS_SELECTOR, "#r-pecas tbody tr")) == 2
    shot("gravada")

    driver.refresh()  # read back by number
    type_into(el("numero"), number + Keys.ENTER)
    text_is("r-id", number)
    text_is("r-valor", "1500,75")
    assert cells()[:5] == ["1", "0,5", "0,4", "0,3", "2"], cells()
    shot("consultada")

    el("editar").click()  # edit the second piece
    type_into(driver.find_elements(By.CSS_SELECTOR, "#pecas .largura_m")[1], "1,75")
    el("gravar").click()
    text_is("mensagem", "gravada")
    assert cells()[5:10] == ["2", "1,75", "0,8", "0,6", "1"], cells()
    shot("peca-editada")

    # A refusal shows next to its field, in the operations' words.
    el("editar").click()
    type_into(el("campo-cliente_id"), "")
    el("gravar").click()
    text_is("erro-cliente_id", "O campo Cliente é obrigatório.")
    assert el("campo-cliente_id").get_attribute("aria-invalid") == "true"
    assert driver.switch_to.active_element == el("campo-cliente_id")
    shot("recusa")

    el("cancelar-edicao").click()  # delete after the confirmation
    el("excluir").click()
    wait.until(EC.visibility_of_element_located((By.ID, "confirmacao")))
    shot("confirmacao")
    el("confirmar-exclusao").click()
    text_is("mensagem", "excluída")
    type_into(el("numero"), number + Keys.ENTER)
    text_is("mensagem", "não encontrada")
    shot("excluida")
    # Nothing is wider than the phone's screen.
    scroll = driver.execute_script("return document.documentElement.scrollWidth")
    assert scroll <= 390, scroll


def main(binary, shots):
    os.makedirs(shots, exist_ok=True)
    step = itertools.count(1)
    shot = lambda name: driver.save_screenshot(  # noqa: E731
        os.path.join(shots, "%02d-%s.png" % (next(step), name)))
    with tempfile.TemporaryDirectory(prefix="z418kt-chromium-", ignore_cleanup_errors=True) as \
            profile, Server(binary) as s:
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--disable-dev-shm-usage", "--user-data-dir=" + profile,
                     "--window-size=500,1400"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        try:
            # A phone's screen: headless windows cannot be narrower than 500 pixels.
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": 390, "height": 1400, "deviceScaleFactor": 1, "mobile": True})
            walk_through(driver, s.port, shot)
        except Exception:
            driver.save_screenshot(os.path.join(shots, "falha.png"))
            raise
        finally:
            driver.quit()
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
