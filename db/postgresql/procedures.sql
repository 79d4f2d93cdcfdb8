-- The SP_KTR_ procedures on PostgreSQL: one set-returning function each, of the
-- same name (PostgreSQL folds it to lower case). The component's
-- "EXEC name a1, a2, ..." becomes "SELECT * FROM name('a1', 'a2', ...)".
--
-- Arguments arrive as texts and are read here, so a call resolves whatever the
-- caller wrote: a number, a quoted text or NULL. An identifier that is not a
-- whole number matches nothing; a numeric argument that is not a number, or
-- that the column cannot hold, is refused.
--
-- Write procedures answer retorno (0 = done), MSG_RET and, for the inserts,
-- the new key (NULL on a refusal). They refuse with retorno 1 and a message
-- when the document or party they refer to does not exist or a numeric
-- argument is not a number (an address given as NULL or 0 means none); a
-- refusal changes nothing. New keys come from KTR_SEQUENCIA, the same
-- sequences the plain SQL form's key allocation uses.

-- The number a text holds, or NULL when it holds none.
CREATE FUNCTION KTR_NUMERO(valor TEXT) RETURNS NUMERIC
LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
  IF valor IS NULL OR valor !~ '^\s*[-+]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][-+]?[0-9]{1,3})?\s*$' THEN
    RETURN NULL;
  END IF;
  RETURN CAST(btrim(valor) AS NUMERIC);
END $$;

-- The whole number (within 32 bits) a text holds, or NULL.
CREATE FUNCTION KTR_INTEIRO(valor TEXT) RETURNS INTEGER
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE
  n NUMERIC := KTR_NUMERO(valor);
BEGIN
  IF n IS NULL OR n <> trunc(n) OR abs(n) > 2147483647 THEN
    RETURN NULL;
  END IF;
  RETURN CAST(n AS INTEGER);
END $$;

-- True when a numeric argument is given but is no number the column can hold
-- (its magnitude must stay below `limite`).
CREATE FUNCTION KTR_NUMERO_INVALIDO(valor TEXT, limite NUMERIC) RETURNS BOOLEAN
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE
  n NUMERIC := KTR_NUMERO(valor);
BEGIN
  RETURN valor IS NOT NULL AND (n IS NULL OR abs(n) >= limite);
END $$;

-- True when an address argument names an address that does not exist. NULL
-- and 0 mean "no address"; anything else that is no identifier exists nowhere.
CREATE FUNCTION KTR_ENDERECO_AUSENTE(valor TEXT) RETURNS BOOLEAN
LANGUAGE plpgsql STABLE AS $$
DECLARE
  id INTEGER := KTR_INTEIRO(valor);
BEGIN
  IF valor IS NULL OR id = 0 THEN
    RETURN FALSE;
  END IF;
  RETURN id IS NULL
      OR NOT EXISTS (SELECT 1 FROM ENDERECO_PESSOA E WHERE E.ENDERECO_PESSOA_ID = id);
END $$;

-- Count of the documents under a parent: (parent, status, type) → contador.
CREATE FUNCTION SP_KTR_CON_QTDE_AWB_COLETA(p_pai TEXT, p_status TEXT, p_tipo TEXT)
RETURNS TABLE (contador INTEGER)
LANGUAGE sql STABLE AS $$
  SELECT CAST(COUNT(D.DOCTO_TRANSPORTE_ID) AS INTEGER)
    FROM DOCTO_TRANSPORTE D
   WHERE D.DOCTO_TRANSP_PAI_ID = KTR_INTEIRO(p_pai)
     AND D.TAB_STATUS_ID = KTR_INTEIRO(p_status)
     AND D.TAB_TIPO_DOCTO_TRANSP_ID = KTR_INTEIRO(p_tipo)
$$;

-- A party address: (address id) → the columns of the party.
CREATE FUNCTION SP_KTR_CON_PESSOA_AWB(p_endereco TEXT)
RETURNS TABLE (cep VARCHAR, cod_munic_iata CHAR(3), endereco VARCHAR, municipio VARCHAR,
               MUNICIPIO_ID INTEGER, pf_cpf VARCHAR, pf_rg VARCHAR, pj_cgc VARCHAR,
               pj_inscr_estadual VARCHAR, nome VARCHAR, nome_fantasia VARCHAR,
               pessoa_id INTEGER)
LANGUAGE sql STABLE AS $$
  SELECT V.CEP, V.COD_MUNIC_IATA, V.ENDERECO, V.MUNICIPIO, V.MUNICIPIO_ID, V.PF_CPF, V.PF_RG,
         V.PJ_CGC, V.PJ_INSCR_ESTADUAL, V.NOME, V.NOME_FANTASIA, V.PESSOA_ID
    FROM VENDERECO_PESSOA V
   WHERE V.ENDERECO_PESSOA_ID = KTR_INTEIRO($1)
$$;

-- A Coleta header: (id, status, type) → its fields and the client's trade
-- name. Like the plain SQL form, a document whose client is not in vCLIENTE
-- yields no row.
CREATE FUNCTION SP_KTR_CON_SOLICIT_COLETA(p_id TEXT, p_status TEXT, p_tipo TEXT)
RETURNS TABLE (cliente_id INTEGER, cliente VARCHAR, END_DESTINATARIO_ID INTEGER,
               END_REMETENTE_ID INTEGER, num_volume INTEGER, peso_real NUMERIC,
               txt_embalagem VARCHAR, val_declarado NUMERIC)
LANGUAGE sql STABLE AS $$
  SELECT D.CLIENTE_ID, C.NOME_FANTASIA, D.END_DESTINATARIO_ID, D.END_REMETENTE_ID,
         D.NUM_VOLUME, D.PESO_REAL, D.TXT_EMBALAGEM, D.VAL_DECLARADO
    FROM DOCTO_TRANSPORTE D
    JOIN vCLIENTE C ON C.PESSOA_ID = D.CLIENTE_ID
   WHERE D.DOCTO_TRANSPORTE_ID = KTR_INTEIRO($1)
     AND D.TAB_STATUS_ID = KTR_INTEIRO($2)
     AND D.TAB_TIPO_DOCTO_TRANSP_ID = KTR_INTEIRO($3)
$$;

-- The cargo pieces of a document: (document id) → one row per piece.
CREATE FUNCTION SP_KTR_CON_CARGA_AWB(p_documento TEXT)
RETURNS TABLE (num_volume INTEGER, largura_m NUMERIC, altura_m NUMERIC, comprimento_m NUMERIC,
               CARGA_ID INTEGER)
LANGUAGE sql STABLE AS $$
  SELECT C.NUM_VOLUME, C.LARGURA_M, C.ALTURA_M, C.COMPRIMENTO_M, C.CARGA_ID
    FROM CARGA C
   WHERE C.DOCTO_TRANSPORTE_ID = KTR_INTEIRO($1)
   ORDER BY C.CARGA_ID
$$;

-- A new Coleta header: (client, addressee address, sender address, volumes,
-- weight, status, type, packing, declared value, user)
-- → DOCTO_TRANSPORTE_ID, retorno, MSG_RET.
CREATE FUNCTION SP_KTR_INC_SOLICIT_COLETA(
    p_cliente TEXT, p_destinatario TEXT, p_remetente TEXT, p_volumes TEXT, p_peso TEXT,
    p_status TEXT, p_tipo TEXT, p_embalagem TEXT, p_valor TEXT, p_usuario TEXT)
RETURNS TABLE (DOCTO_TRANSPORTE_ID INTEGER, retorno INTEGER, MSG_RET TEXT)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
  novo INTEGER;
BEGIN
  IF NOT EXISTS (SELECT 1 FROM vCLIENTE C WHERE C.PESSOA_ID = KTR_INTEIRO(p_cliente)) THEN
    RETURN QUERY SELECT NULL::INTEGER, 1, 'Cliente não encontrado.'::TEXT;
    RETURN;
  END IF;
  IF KTR_ENDERECO_AUSENTE(p_destinatario) THEN
    RETURN QUERY SELECT NULL::INTEGER, 1, 'Endereço do destinatário não encontrado.'::TEXT;
    RETURN;
  END IF;
  IF KTR_ENDERECO_AUSENTE(p_remetente) THEN
    RETURN QUERY SELECT NULL::INTEGER, 1, 'Endereço do remetente não encontrado.'::TEXT;
    RETURN;
  END IF;
  IF KTR_NUMERO_INVALIDO(p_volumes, 2147483648) OR KTR_NUMERO_INVALIDO(p_peso, 1e8)
     OR KTR_NUMERO_INVALIDO(p_status, 2147483648) OR KTR_NUMERO_INVALIDO(p_tipo, 2147483648)
     OR KTR_NUMERO_INVALIDO(p_valor, 1e15) THEN
    RETURN QUERY SELECT NULL::INTEGER, 1, 'Valor numérico inválido.'::TEXT;
    RETURN;
  END IF;
  UPDATE KTR_SEQUENCIA S SET ULTIMO_VALOR = S.ULTIMO_VALOR + 1
   WHERE S.NOME_CHAVE = 'DOCTO_TRANSPORTE_ID'
  RETURNING S.ULTIMO_VALOR INTO novo;
  INSERT INTO DOCTO_TRANSPORTE (DOCTO_TRANSPORTE_ID, EMPRESA_ID, DATA_EMISSAO, CLIENTE_ID,
         END_DESTINATARIO_ID, END_REMETENTE_ID, NUM_VOLUME, PESO_REAL, TAB_STATUS_ID,
         TAB_TIPO_DOCTO_TRANSP_ID, TXT_EMBALAGEM, VAL_DECLARADO, NUM_DOCTO_TRANSPORTE)
  VALUES (novo, 1, LOCALTIMESTAMP(0), KTR_INTEIRO(p_cliente), KTR_INTEIRO(p_destinatario),
          KTR_INTEIRO(p_remetente), KTR_NUMERO(p_volumes), KTR_NUMERO(p_peso),
          KTR_NUMERO(p_status), KTR_NUMERO(p_tipo), p_embalagem, KTR_NUMERO(p_valor), novo);
  INSERT INTO KTR_AUDITORIA (ENTIDADE, OPERACAO, USUARIO_ID, DOCTO_TRANSPORTE_ID, DATA_HORA)
  VALUES (13, 1, KTR_INTEIRO(p_usuario), novo, LOCALTIMESTAMP(0));
  RETURN QUERY SELECT novo, 0, ''::TEXT;
END $$;

-- A changed Coleta header: (id, client, addressee address, sender address,
-- volumes, weight, status, type, packing, declared value, user)
-- → retorno, MSG_RET. A deleted document (status 2) is not found.
CREATE FUNCTION SP_KTR_ALT_SOLICIT_COLETA(
    p_id TEXT, p_cliente TEXT, p_destinatario TEXT, p_remetente TEXT, p_volumes TEXT,
    p_peso TEXT, p_status TEXT, p_tipo TEXT, p_embalagem TEXT, p_valor TEXT, p_usuario TEXT)
RETURNS TABLE (retorno INTEGER, MSG_RET TEXT)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
BEGIN
  IF NOT EXISTS (SELECT 1 FROM DOCTO_TRANSPORTE D
                  WHERE D.DOCTO_TRANSPORTE_ID = KTR_INTEIRO(p_id) AND D.TAB_STATUS_ID <> 2) THEN
    RETURN QUERY SELECT 1, 'Coleta não encontrada.'::TEXT;
    RETURN;
  END IF;
  IF NOT EXISTS (SELECT 1 FROM vCLIENTE C WHERE C.PESSOA_ID = KTR_INTEIRO(p_cliente)) THEN
    RETURN QUERY SELECT 1, 'Cliente não encontrado.'::TEXT;
    RETURN;
  END IF;
  IF KTR_ENDERECO_AUSENTE(p_destinatario) THEN
    RETURN QUERY SELECT 1, 'Endereço do destinatário não encontrado.'::TEXT;
    RETURN;
  END IF;
  IF KTR_ENDERECO_AUSENTE(p_remetente) THEN
    RETURN QUERY SELECT 1, 'Endereço do remetente não encontrado.'::TEXT;
    RETURN;
  END IF;
  IF KTR_NUMERO_INVALIDO(p_volumes, 2147483648) OR KTR_NUMERO_INVALIDO(p_peso, 1e8)
     OR KTR_NUMERO_INVALIDO(p_status, 2147483648) OR KTR_NUMERO_INVALIDO(p_tipo, 2147483648)
     OR KTR_NUMERO_INVALIDO(p_valor, 1e15) THEN
    RETURN QUERY SELECT 1, 'Valor numérico inválido.'::TEXT;
    RETURN;
  END IF;
  UPDATE DOCTO_TRANSPORTE D
     SET EMPRESA_ID = 1, CLIENTE_ID = KTR_INTEIRO(p_cliente),
         END_DESTINATARIO_ID = KTR_INTEIRO(p_destinatario),
         END_REMETENTE_ID = KTR_INTEIRO(p_remetente), NUM_VOLUME = KTR_NUMERO(p_volumes),
         PESO_REAL = KTR_NUMERO(p_peso), TAB_STATUS_ID = KTR_NUMERO(p_status),
         TAB_TIPO_DOCTO_TRANSP_ID = KTR_NUMERO(p_tipo), TXT_EMBALAGEM = p_embalagem,
         VAL_DECLARADO = KTR_NUMERO(p_valor)
   WHERE D.DOCTO_TRANSPORTE_ID = KTR_INTEIRO(p_id);
  INSERT INTO KTR_AUDITORIA (ENTIDADE, OPERACAO, USUARIO_ID, DOCTO_TRANSPORTE_ID, DATA_HORA)
  VALUES (13, 2, KTR_INTEIRO(p_usuario), KTR_INTEIRO(p_id), LOCALTIMESTAMP(0));
  RETURN QUERY SELECT 0, ''::TEXT;
END $$;

-- The delete of a Coleta header: (id, user) → retorno, MSG_RET. As the plain
-- SQL form does, the row stays and takes status 2 (deleted); a document that
-- is not active (status 1) is refused, so a second delete answers retorno 1.
-- Recorded as operation 3.
CREATE FUNCTION SP_KTR_EXC_SOLICIT_COLETA(p_id TEXT, p_usuario TEXT)
RETURNS TABLE (retorno INTEGER, MSG_RET TEXT)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
BEGIN
  IF NOT EXISTS (SELECT 1 FROM DOCTO_TRANSPORTE D
                  WHERE D.DOCTO_TRANSPORTE_ID = KTR_INTEIRO(p_id) AND D.TAB_STATUS_ID = 1) THEN
    RETURN QUERY SELECT 1, 'Coleta não encontrada.'::TEXT;
    RETURN;
  END IF;
  UPDATE DOCTO_TRANSPORTE D SET TAB_STATUS_ID = 2 WHERE D.DOCTO_TRANSPORTE_ID = KTR_INTEIRO(p_id);
  INSERT INTO KTR_AUDITORIA (ENTIDADE, OPERACAO, USUARIO_ID, DOCTO_TRANSPORTE_ID, DATA_HORA)
  VALUES (13, 3, KTR_INTEIRO(p_usuario), KTR_INTEIRO(p_id), LOCALTIMESTAMP(0));
  RETURN QUERY SELECT 0, ''::TEXT;
END $$;

-- A new cargo piece: (document, width, height, length, volumes)
-- → CARGA_ID, retorno, MSG_RET.
CREATE FUNCTION SP_KTR_INC_CARGA_AWB(
    p_documento TEXT, p_largura TEXT, p_altura TEXT, p_comprimento TEXT, p_volumes TEXT)
RETURNS TABLE (CARGA_ID INTEGER, retorno INTEGER, MSG_RET TEXT)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
  novo INTEGER;
BEGIN
  IF NOT EXISTS (SELECT 1 FROM DOCTO_TRANSPORTE D
                  WHERE D.DOCTO_TRANSPORTE_ID = KTR_INTEIRO(p_documento)
                    AND D.TAB_STATUS_ID <> 2) THEN
    RETURN QUERY SELECT NULL::INTEGER, 1, 'Documento de transporte não encontrado.'::TEXT;
    RETURN;
  END IF;
  IF KTR_NUMERO_INVALIDO(p_largura, 1e8) OR KTR_NUMERO_INVALIDO(p_altura, 1e8)
     OR KTR_NUMERO_INVALIDO(p_comprimento, 1e8)
     OR KTR_NUMERO_INVALIDO(p_volumes, 2147483648) THEN
    RETURN QUERY SELECT NULL::INTEGER, 1, 'Valor numérico inválido.'::TEXT;
    RETURN;
  END IF;
  UPDATE KTR_SEQUENCIA S SET ULTIMO_VALOR = S.ULTIMO_VALOR + 1
   WHERE S.NOME_CHAVE = 'CARGA_ID'
  RETURNING S.ULTIMO_VALOR INTO novo;
  INSERT INTO CARGA (CARGA_ID, DOCTO_TRANSPORTE_ID, LARGURA_M, ALTURA_M, COMPRIMENTO_M, NUM_VOLUME)
  VALUES (novo, KTR_INTEIRO(p_documento), KTR_NUMERO(p_largura), KTR_NUMERO(p_altura),
          KTR_NUMERO(p_comprimento), KTR_NUMERO(p_volumes));
  RETURN QUERY SELECT novo, 0, ''::TEXT;
END $$;

-- The delete of cargo pieces: (cargo id, document id) → retorno, MSG_RET.
-- With a document (not NULL, not 0) every piece of it goes and the cargo id is
-- ignored; otherwise the one piece. Removing nothing is no failure.
CREATE FUNCTION SP_KTR_EXC_CARGA_AWB(p_carga TEXT, p_documento TEXT)
RETURNS TABLE (retorno INTEGER, MSG_RET TEXT)
LANGUAGE plpgsql AS $$
#variable_conflict use_column
DECLARE
  documento INTEGER := KTR_INTEIRO(p_documento);
BEGIN
  IF p_documento IS NOT NULL AND documento IS DISTINCT FROM 0 THEN
    DELETE FROM CARGA C WHERE C.DOCTO_TRANSPORTE_ID = documento;
  ELSE
    DELETE FROM CARGA C WHERE C.CARGA_ID = KTR_INTEIRO(p_carga);
  END IF;
  RETURN QUERY SELECT 0, ''::TEXT;
END $$;
