"""The operators' page in headless Chromium driven by Selenium: token, a new
Coleta with two pieces, reading it back, editing a piece, a refusal next to
its field, deleting after the confirmation. A screenshot of each step goes to
SHOT_DIR. Exits 77 (skipped) when Chromium or its driver is not installed.

usage: browser_test.py Z418KT_BINARY SHOT_DIR"""

import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))
from server_fixture import TOKEN, Server  # noqa: E402

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support import expected_conditions as EC
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("selenium is not installed: skipped")
    sys.exit(77)

CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
if not CHROMIUM or not os.path.exists(DRIVER):
    print("chromium or chromedriver is not installed: skipped")
    sys.exit(77)


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu",
                 "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--no-first-run", "--disable-dev-shm-usage",
                 "--user-data-dir=" + profile, "--window-size=500,1400"):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(DRIVER), options=options)


def main(binary, shots):
    os.makedirs(shots, exist_ok=True)
    profile = tempfile.mkdtemp(prefix="z418kt-chromium-")
    driver = None
    step = [0]
    try:
        with Server(binary) as server:
            driver = browser(profile)
            # A phone's screen: headless windows cannot be narrower than 500 pixels.
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": 390, "height": 1400, "deviceScaleFactor": 1, "mobile": True})
            wait = WebDriverWait(driver, 10)
            el = lambda id: driver.find_element(By.ID, id)  # noqa: E731

            def shot(name):
                step[0] += 1
                driver.save_screenshot(os.path.join(shots, "%02d-%s.png" % (step[0], name)))

            def text_is(id, fragment):
                wait.until(EC.text_to_be_present_in_element((By.ID, id), fragment))

            def type_into(input_, value):
                input_.send_keys(Keys.CONTROL, "a")
                input_.send_keys(Keys.DELETE)
                input_.send_keys(value)

            driver.get("http://127.0.0.1:%d/" % server.port)
            el("token").send_keys(TOKEN, Keys.ENTER)
            wait.until(EC.visibility_of_element_located((By.ID, "token-ok")))
            shot("token")

            # A new Coleta with two pieces, entered with the keyboard.
            el("nova").click()
            for field, value in (("cliente_id", "2"), ("remetente_id", "12"),
                                 ("destinatario_id", "11"), ("volumes", "3"), ("peso_kg", "42,5"),
                                 ("valor_declarado", "1.500,75"), ("embalagem", "Caixas")):
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

            # Read back by number.
            driver.refresh()
            type_into(el("numero"), number)
            el("numero").send_keys(Keys.ENTER)
            text_is("r-id", number)
            text_is("r-valor", "1500,75")
            cells = [c.text for c in driver.find_elements(By.CSS_SELECTOR, "#r-pecas td")]
            assert cells[:5] == ["1", "0,5", "0,4", "0,3", "2"], cells
            shot("consultada")

            # Edit the second piece.
            el("editar").click()
            width = driver.find_elements(By.CSS_SELECTOR, "#pecas .largura_m")[1]
            type_into(width, "1,75")
            el("gravar").click()
            text_is("mensagem", "gravada")
            cells = [c.text for c in driver.find_elements(By.CSS_SELECTOR, "#r-pecas td")]
            assert cells[5:10] == ["2", "1,75", "0,8", "0,6", "1"], cells
            shot("peca-editada")

            # A refusal shows next to its field, in the operations' words.
            el("editar").click()
            type_into(el("campo-cliente_id"), "")
            el("gravar").click()
            text_is("erro-cliente_id", "O campo Cliente é obrigatório.")
            assert el("campo-cliente_id").get_attribute("aria-invalid") == "true"
            assert driver.switch_to.active_element == el("campo-cliente_id")
            shot("recusa")

            # Delete after the confirmation.
            el("cancelar-edicao").click()
            el("excluir").click()
            wait.until(EC.visibility_of_element_located((By.ID, "confirmacao")))
            shot("confirmacao")
            el("confirmar-exclusao").click()
            text_is("mensagem", "excluída")
            type_into(el("numero"), number)
            el("numero").send_keys(Keys.ENTER)
            text_is("mensagem", "não encontrada")
            shot("excluida")

            # Phone width: nothing wider than the screen.
            scroll = driver.execute_script("return document.documentElement.scrollWidth")
            assert scroll <= 390, scroll
    except Exception:
        if driver is not None:
            driver.save_screenshot(os.path.join(shots, "falha.png"))
        raise
    finally:
        if driver is not None:
            driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
