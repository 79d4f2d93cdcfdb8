-- The outbox on SQLite: every change of a Coleta writes one event row in the
-- same transaction as the change, by triggers, so every writer is covered.
--
-- One event per change, not one per row, and no statement of its own: SQLite
-- has no transaction id, so the triggers tell where a change begins and ends
-- by the shape every change of the component has. A save writes the header
-- first (INSERT or UPDATE), then its audit row, then replaces the pieces
-- (DELETE, then INSERTs); a delete removes the pieces, then sets the header's
-- status to 2. A Coleta's latest event is open while its FASE is set, which
-- says how it opened:
--   0 by a header write
--   1 by writing a piece
--   2 by removing pieces (the header not written yet)
-- and its state before (below) holds the pieces the Coleta had then. A
-- header write opens a new event, except the change of status to 2 that
-- follows the removal of the pieces (FASE 2), which closes it. Writing a
-- piece joins the open event; removing one joins it when the piece was there
-- as it opened (its key begins one of the pieces in the state before), so
-- removing a piece written since opens a new event. Anything else opens a
-- new event. An event is closed by a delete, by its distribution and by the
-- Coleta's next event. Each save and each delete
-- is thus one event, on the normal path and when its statements commit one
-- by one. Another program's writes are covered alike: each statement writing
-- a header opens an event, and its piece changes join the Coleta's open
-- event until the next header write or the next dispatcher pass.
--
-- What a save pays for this is kept small, since its statements run the
-- triggers on every call. Each page a save writes is one more WAL frame at its
-- commit, so an event is one row on one page: events are kept in the order
-- (DISTRIBUIDO, Coleta, number), with no index of their own. The events not
-- yet distributed are then together, and so are each Coleta's among them: its
-- open event is its latest one not distributed (a distributed event is
-- closed), found at once, and a piece's trigger only reads it. A Coleta's
-- history is its events in both parts. Numbers come from the counter row
-- 'KTR_EVENTO' in sqlite_sequence, on the page a save already writes for its
-- audit row's key; the audit key an event keeps is read there too. Opening an event from a piece goes through the view
-- KTR_EVENTO_NOVO, and ending a delete through KTR_EVENTO_BAIXA, so the
-- programs run for every piece and every header write stay small: a trigger
-- costs in proportion to its whole program each time it fires, whatever its
-- WHEN says.
--
-- Who made the change: the save's audit row names the user. An event opened by
-- a header write keeps the key of the last audit row there was then
-- (AUDITORIA_ID, as every event does), and its user is that of the first audit
-- row of the Coleta after it and before the next event of any Coleta, as the
-- save writes it right after the header: KTR_EVENTO_HISTORICO reads it there,
-- and distributing the event copies it into the event, so the save writes
-- nothing more for it. A transaction of the component that has more to say
-- (the user of a delete, which writes no audit row; the name of the program or
-- HTTP token acting) writes KTR_EVENTO_CONTEXTO at its start and removes it
-- before its commit, so no other session ever sees it; a save made in process
-- without a name writes no context at all.
--
-- An event holds the Coleta as it was before the change (NULL for a new
-- Coleta). Readers see it as a JSON array of values without their names,
-- which the reader adds (events/event.cpp): the header fields EMPRESA_ID,
-- CLIENTE_ID, END_REMETENTE_ID, END_DESTINATARIO_ID, NUM_VOLUME, PESO_REAL,
-- TXT_EMBALAGEM, VAL_DECLARADO, TAB_STATUS_ID, DATA_EMISSAO, then the array of
-- its cargo pieces in key order, each CARGA_ID, NUM_VOLUME, LARGURA_M,
-- ALTURA_M, COMPRIMENTO_M. The event keeps the header fields as the row holds
-- them, in the columns ANTES_<field>, and only the pieces as that JSON text
-- (ANTES_CARGAS, never NULL when there is a state): writing a number as text
-- is most of what building the state costs, so the header's numbers are
-- turned into text when the event is read (KTR_EVENTO_ANTES), not on every
-- save. Events written before kept the whole array in ANTES, which the
-- reader takes as it is. The state after the change is the state before the
-- Coleta's next event, or, for its latest event, the Coleta as it is now:
-- KTR_EVENTO_HISTORICO shows both (DEPOIS NULL once the row is gone), and the
-- kind (created, changed, pieces replaced, deleted) follows from the two. So a
-- save costs one row written once, whatever number of rows it touches. The
-- file is plain ASCII.

-- CARGAS is written only by an earlier version: the keys of the pieces an
-- open event began with (",7,8,"). The ANTES_ columns have no type, so each
-- keeps the value the Coleta's row held as it was.
CREATE TABLE KTR_EVENTO (
  EVENTO_ID INTEGER NOT NULL,
  DOCTO_TRANSPORTE_ID INTEGER NOT NULL,
  DATA_HORA VARCHAR(30) NOT NULL,
  USUARIO_ID VARCHAR(40),
  ORIGEM VARCHAR(100),
  ANTES TEXT,
  DISTRIBUIDO INTEGER NOT NULL DEFAULT 0 CHECK (DISTRIBUIDO IN (0, 1)),
  FASE INTEGER CHECK (FASE BETWEEN 0 AND 2),
  CARGAS TEXT,
  AUDITORIA_ID INTEGER,
  ANTES_EMPRESA_ID,
  ANTES_CLIENTE_ID,
  ANTES_END_REMETENTE_ID,
  ANTES_END_DESTINATARIO_ID,
  ANTES_NUM_VOLUME,
  ANTES_PESO_REAL,
  ANTES_TXT_EMBALAGEM,
  ANTES_VAL_DECLARADO,
  ANTES_TAB_STATUS_ID,
  ANTES_DATA_EMISSAO,
  ANTES_CARGAS TEXT,
  PRIMARY KEY (DISTRIBUIDO, DOCTO_TRANSPORTE_ID, EVENTO_ID)
) WITHOUT ROWID;

-- At most one row, only inside a transaction of the component.
CREATE TABLE KTR_EVENTO_CONTEXTO (
  CONTEXTO_ID INTEGER PRIMARY KEY CHECK (CONTEXTO_ID = 1),
  USUARIO_ID VARCHAR(40),
  ORIGEM VARCHAR(100)
);

-- The state of each Coleta as an event records it (see above): the header
-- fields, and one aggregate over its pieces (read through their index, so in
-- key order) that builds their text. Every trigger takes the state from
-- here, the header's BEFORE triggers too: the row still holds what OLD
-- holds, and the fields an event records are then named in this one place.
CREATE VIEW KTR_COLETA_ESTADO AS
  SELECT D.DOCTO_TRANSPORTE_ID AS DOCTO_TRANSPORTE_ID,
         D.EMPRESA_ID AS EMPRESA_ID, D.CLIENTE_ID AS CLIENTE_ID,
         D.END_REMETENTE_ID AS END_REMETENTE_ID, D.END_DESTINATARIO_ID AS END_DESTINATARIO_ID,
         D.NUM_VOLUME AS NUM_VOLUME, D.PESO_REAL AS PESO_REAL, D.TXT_EMBALAGEM AS TXT_EMBALAGEM,
         D.VAL_DECLARADO AS VAL_DECLARADO, D.TAB_STATUS_ID AS TAB_STATUS_ID,
         D.DATA_EMISSAO AS DATA_EMISSAO,
         (SELECT json_group_array(json_array(
                   C.CARGA_ID, C.NUM_VOLUME, C.LARGURA_M, C.ALTURA_M, C.COMPRIMENTO_M))
            FROM CARGA C WHERE C.DOCTO_TRANSPORTE_ID = D.DOCTO_TRANSPORTE_ID) AS CARGAS
    FROM DOCTO_TRANSPORTE D
   WHERE D.TAB_TIPO_DOCTO_TRANSP_ID = 5;

-- Each event's state before it as readers see it, whichever way it was kept:
-- the same text the state's values give as one JSON array. An event is found
-- here by its whole key (DISTRIBUIDO, DOCTO_TRANSPORTE_ID, EVENTO_ID): by its
-- number alone every event would be read.
CREATE VIEW KTR_EVENTO_ANTES AS
  SELECT E.DISTRIBUIDO AS DISTRIBUIDO, E.DOCTO_TRANSPORTE_ID AS DOCTO_TRANSPORTE_ID,
         E.EVENTO_ID AS EVENTO_ID,
         CASE WHEN E.ANTES_CARGAS IS NULL THEN E.ANTES
              ELSE json_array(E.ANTES_EMPRESA_ID, E.ANTES_CLIENTE_ID, E.ANTES_END_REMETENTE_ID,
                              E.ANTES_END_DESTINATARIO_ID, E.ANTES_NUM_VOLUME, E.ANTES_PESO_REAL,
                              E.ANTES_TXT_EMBALAGEM, E.ANTES_VAL_DECLARADO, E.ANTES_TAB_STATUS_ID,
                              E.ANTES_DATA_EMISSAO, json(E.ANTES_CARGAS)) END AS ANTES
    FROM KTR_EVENTO E;

-- Each event with the state after it. A Coleta's next event is the first
-- after it among the distributed ones if there is one (SEGUE_DISTRIBUIDO),
-- or else among the others: events are distributed in number order, so every
-- distributed event comes before every other. Each part is read by its key
-- from the event on, one row: asked of both parts at once (DISTRIBUIDO IN
-- (0, 1)), SQLite would read all of the Coleta's later events and sort them.
CREATE VIEW KTR_EVENTO_SEGUIDO AS
  SELECT E.*,
         EXISTS (SELECT 1 FROM KTR_EVENTO N
                  WHERE N.DISTRIBUIDO = 1 AND N.DOCTO_TRANSPORTE_ID = E.DOCTO_TRANSPORTE_ID
                    AND N.EVENTO_ID > E.EVENTO_ID) AS SEGUE_DISTRIBUIDO
    FROM KTR_EVENTO E;

CREATE VIEW KTR_EVENTO_HISTORICO AS
  SELECT E.EVENTO_ID AS EVENTO_ID, E.DOCTO_TRANSPORTE_ID AS DOCTO_TRANSPORTE_ID,
         E.DATA_HORA AS DATA_HORA,
         COALESCE(E.USUARIO_ID,
                  (SELECT CAST(A.USUARIO_ID AS TEXT) FROM KTR_AUDITORIA A
                    WHERE E.FASE = 0 AND A.AUDITORIA_ID > E.AUDITORIA_ID
                      AND A.AUDITORIA_ID <= COALESCE(
                            (SELECT N.AUDITORIA_ID FROM KTR_EVENTO N
                              WHERE N.DISTRIBUIDO = E.SEGUE_DISTRIBUIDO
                                AND N.DOCTO_TRANSPORTE_ID = E.DOCTO_TRANSPORTE_ID
                                AND N.EVENTO_ID > E.EVENTO_ID ORDER BY N.EVENTO_ID LIMIT 1),
                            A.AUDITORIA_ID)
                      AND A.DOCTO_TRANSPORTE_ID = E.DOCTO_TRANSPORTE_ID AND A.ENTIDADE = 13
                      AND A.USUARIO_ID IS NOT NULL
                    ORDER BY A.AUDITORIA_ID LIMIT 1)) AS USUARIO_ID,
         E.ORIGEM AS ORIGEM,
         (SELECT B.ANTES FROM KTR_EVENTO_ANTES B
           WHERE B.DISTRIBUIDO = E.DISTRIBUIDO AND B.DOCTO_TRANSPORTE_ID = E.DOCTO_TRANSPORTE_ID
             AND B.EVENTO_ID = E.EVENTO_ID) AS ANTES,
         CASE WHEN E.SEGUE_DISTRIBUIDO OR EXISTS (SELECT 1 FROM KTR_EVENTO N
                                                   WHERE N.DISTRIBUIDO = 0
                                                     AND N.DOCTO_TRANSPORTE_ID = E.DOCTO_TRANSPORTE_ID
                                                     AND N.EVENTO_ID > E.EVENTO_ID)
              THEN (SELECT N.ANTES FROM KTR_EVENTO_ANTES N
                     WHERE N.DISTRIBUIDO = E.SEGUE_DISTRIBUIDO
                       AND N.DOCTO_TRANSPORTE_ID = E.DOCTO_TRANSPORTE_ID
                       AND N.EVENTO_ID > E.EVENTO_ID ORDER BY N.EVENTO_ID LIMIT 1)
              ELSE (SELECT json_array(S.EMPRESA_ID, S.CLIENTE_ID, S.END_REMETENTE_ID,
                                      S.END_DESTINATARIO_ID, S.NUM_VOLUME, S.PESO_REAL,
                                      S.TXT_EMBALAGEM, S.VAL_DECLARADO, S.TAB_STATUS_ID,
                                      S.DATA_EMISSAO, json(S.CARGAS))
                      FROM KTR_COLETA_ESTADO S
                     WHERE S.DOCTO_TRANSPORTE_ID = E.DOCTO_TRANSPORTE_ID) END AS DEPOIS,
         E.DISTRIBUIDO AS DISTRIBUIDO
    FROM KTR_EVENTO_SEGUIDO E;

-- The number of the event being added, once its insert has moved the counter
-- on to it (UPDATE sqlite_sequence ... WHERE name = 'KTR_EVENTO'), and the key
-- of the last audit row there is then, both read in one pass over
-- sqlite_sequence. Nothing here reads KTR_EVENTO: SQLite would then stage
-- every row added to it in a temporary table. Should the counter row be gone,
-- the number is NULL and the change fails whole; installing the outbox again
-- puts the row back.
CREATE VIEW KTR_EVENTO_NUMERO AS
  SELECT MAX(CASE WHEN Q.name = 'KTR_EVENTO' THEN Q.seq END) AS EVENTO_ID,
         COALESCE(MAX(CASE WHEN Q.name = 'KTR_AUDITORIA' THEN Q.seq END), 0) AS AUDITORIA_ID
    FROM sqlite_sequence Q;

-- Opens a new event of a Coleta with its state now, in phase FASE; nothing
-- for another document. Inserting here is how the piece triggers and a
-- delete open one.
CREATE VIEW KTR_EVENTO_NOVO AS
  SELECT DOCTO_TRANSPORTE_ID, FASE FROM KTR_EVENTO WHERE 0;

CREATE TRIGGER KTR_EVENTO_NOVO_INC INSTEAD OF INSERT ON KTR_EVENTO_NOVO
BEGIN
  UPDATE sqlite_sequence SET seq = seq + 1
   WHERE name = 'KTR_EVENTO'
     AND EXISTS (SELECT 1 FROM KTR_COLETA_ESTADO S
                  WHERE S.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID);
  INSERT INTO KTR_EVENTO (EVENTO_ID, DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, FASE,
                          AUDITORIA_ID, ANTES_EMPRESA_ID, ANTES_CLIENTE_ID, ANTES_END_REMETENTE_ID,
                          ANTES_END_DESTINATARIO_ID, ANTES_NUM_VOLUME, ANTES_PESO_REAL,
                          ANTES_TXT_EMBALAGEM, ANTES_VAL_DECLARADO, ANTES_TAB_STATUS_ID,
                          ANTES_DATA_EMISSAO, ANTES_CARGAS)
  SELECT K.EVENTO_ID, NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'),
         X.USUARIO_ID, X.ORIGEM, NEW.FASE, K.AUDITORIA_ID,
         S.EMPRESA_ID, S.CLIENTE_ID, S.END_REMETENTE_ID, S.END_DESTINATARIO_ID, S.NUM_VOLUME,
         S.PESO_REAL, S.TXT_EMBALAGEM, S.VAL_DECLARADO, S.TAB_STATUS_ID, S.DATA_EMISSAO,
         S.CARGAS
    FROM KTR_EVENTO_NUMERO K
    JOIN KTR_COLETA_ESTADO S ON S.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID
    LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1;
END;

-- No trigger reads KTR_EVENTO before it adds to it on a save's path: SQLite
-- would then stage the added row in a temporary table. A new row's trigger
-- runs AFTER the insert, when its key is known even if the writer left it to
-- the engine; there is no state before.
CREATE TRIGGER KTR_EVENTO_DOCTO_INC AFTER INSERT ON DOCTO_TRANSPORTE
WHEN NEW.TAB_TIPO_DOCTO_TRANSP_ID = 5
BEGIN
  UPDATE sqlite_sequence SET seq = seq + 1 WHERE name = 'KTR_EVENTO';
  INSERT INTO KTR_EVENTO (EVENTO_ID, DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, FASE,
                          AUDITORIA_ID)
  SELECT K.EVENTO_ID, NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'),
         X.USUARIO_ID, X.ORIGEM, 0, K.AUDITORIA_ID
    FROM KTR_EVENTO_NUMERO K LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1;
END;

-- A header change opens an event. A change of status to 2 is a delete: it
-- closes the event its pieces' removal opened, or else opens one closed at
-- once; that is a trigger of its own, whose program (run on every header
-- change) is one insert into KTR_EVENTO_BAIXA, which may read KTR_EVENTO first.
CREATE TRIGGER KTR_EVENTO_DOCTO_ALT_ANTES BEFORE UPDATE ON DOCTO_TRANSPORTE
WHEN (OLD.TAB_TIPO_DOCTO_TRANSP_ID = 5 OR NEW.TAB_TIPO_DOCTO_TRANSP_ID = 5)
 AND NOT (NEW.TAB_STATUS_ID = 2 AND OLD.TAB_STATUS_ID IS NOT 2)
BEGIN
  UPDATE sqlite_sequence SET seq = seq + 1 WHERE name = 'KTR_EVENTO';
  INSERT INTO KTR_EVENTO (EVENTO_ID, DOCTO_TRANSPORTE_ID, DATA_HORA, USUARIO_ID, ORIGEM, FASE,
                          AUDITORIA_ID, ANTES_EMPRESA_ID, ANTES_CLIENTE_ID, ANTES_END_REMETENTE_ID,
                          ANTES_END_DESTINATARIO_ID, ANTES_NUM_VOLUME, ANTES_PESO_REAL,
                          ANTES_TXT_EMBALAGEM, ANTES_VAL_DECLARADO, ANTES_TAB_STATUS_ID,
                          ANTES_DATA_EMISSAO, ANTES_CARGAS)
  SELECT K.EVENTO_ID, NEW.DOCTO_TRANSPORTE_ID, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'),
         X.USUARIO_ID, X.ORIGEM, 0, K.AUDITORIA_ID,
         S.EMPRESA_ID, S.CLIENTE_ID, S.END_REMETENTE_ID, S.END_DESTINATARIO_ID, S.NUM_VOLUME,
         S.PESO_REAL, S.TXT_EMBALAGEM, S.VAL_DECLARADO, S.TAB_STATUS_ID, S.DATA_EMISSAO,
         S.CARGAS
    FROM KTR_EVENTO_NUMERO K
    LEFT JOIN KTR_COLETA_ESTADO S ON S.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID
    LEFT JOIN KTR_EVENTO_CONTEXTO X ON X.CONTEXTO_ID = 1;
END;

-- Closes the event a Coleta's pieces' removal opened, or else opens one
-- closed at once: how a delete ends.
CREATE VIEW KTR_EVENTO_BAIXA AS
  SELECT DOCTO_TRANSPORTE_ID FROM KTR_EVENTO WHERE 0;

CREATE TRIGGER KTR_EVENTO_BAIXA_INC INSTEAD OF INSERT ON KTR_EVENTO_BAIXA
BEGIN
  UPDATE KTR_EVENTO SET FASE = NULL
   WHERE DISTRIBUIDO = 0 AND DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID
     AND EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                       WHERE L.DISTRIBUIDO = 0 AND L.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID)
     AND FASE = 2;
  INSERT INTO KTR_EVENTO_NOVO (DOCTO_TRANSPORTE_ID, FASE)
  SELECT NEW.DOCTO_TRANSPORTE_ID, NULL WHERE changes() = 0;
END;

CREATE TRIGGER KTR_EVENTO_DOCTO_BAIXA_ANTES BEFORE UPDATE ON DOCTO_TRANSPORTE
WHEN (OLD.TAB_TIPO_DOCTO_TRANSP_ID = 5 OR NEW.TAB_TIPO_DOCTO_TRANSP_ID = 5)
 AND NEW.TAB_STATUS_ID = 2 AND OLD.TAB_STATUS_ID IS NOT 2
BEGIN
  INSERT INTO KTR_EVENTO_BAIXA (DOCTO_TRANSPORTE_ID) VALUES (NEW.DOCTO_TRANSPORTE_ID);
END;

CREATE TRIGGER KTR_EVENTO_DOCTO_EXC_ANTES BEFORE DELETE ON DOCTO_TRANSPORTE
WHEN OLD.TAB_TIPO_DOCTO_TRANSP_ID = 5
BEGIN
  INSERT INTO KTR_EVENTO_BAIXA (DOCTO_TRANSPORTE_ID) VALUES (OLD.DOCTO_TRANSPORTE_ID);
  -- Nothing joins an event of a row that is gone.
  UPDATE KTR_EVENTO SET FASE = NULL
   WHERE DISTRIBUIDO = 0 AND DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID
     AND EVENTO_ID = (SELECT MAX(L.EVENTO_ID) FROM KTR_EVENTO L
                       WHERE L.DISTRIBUIDO = 0 AND L.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID)
     AND FASE IS NOT NULL;
END;

-- A Coleta's pieces: each trigger's WHEN reads the Coleta's latest event not
-- distributed (none, or its FASE NULL, when its latest is closed) and skips the body when the piece joins
-- it, as every piece of a save does. A new event is opened only for a
-- Coleta (the state view has no other document).
CREATE TRIGGER KTR_EVENTO_CARGA_INC_ABRE BEFORE INSERT ON CARGA
WHEN (SELECT E.FASE FROM KTR_EVENTO E
       WHERE E.DISTRIBUIDO = 0 AND E.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID
       ORDER BY E.EVENTO_ID DESC LIMIT 1) IS NULL
BEGIN
  INSERT INTO KTR_EVENTO_NOVO (DOCTO_TRANSPORTE_ID, FASE) VALUES (NEW.DOCTO_TRANSPORTE_ID, 1);
END;

CREATE TRIGGER KTR_EVENTO_CARGA_EXC_ANTES BEFORE DELETE ON CARGA
WHEN COALESCE((SELECT CASE WHEN E.FASE IS NOT NULL
                           THEN CASE WHEN E.CARGAS IS NOT NULL
                                     THEN instr(E.CARGAS, ',' || OLD.CARGA_ID || ',')
                                     ELSE instr(E.ANTES_CARGAS, '[' || OLD.CARGA_ID || ',') END END
                 FROM KTR_EVENTO E
                WHERE E.DISTRIBUIDO = 0 AND E.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID
                ORDER BY E.EVENTO_ID DESC LIMIT 1), 0) = 0
BEGIN
  INSERT INTO KTR_EVENTO_NOVO (DOCTO_TRANSPORTE_ID, FASE) VALUES (OLD.DOCTO_TRANSPORTE_ID, 2);
END;

-- A piece moved from one document to another changes both, joining an open
-- event as a piece written does; only other programs update pieces.
CREATE TRIGGER KTR_EVENTO_CARGA_ALT_ANTES BEFORE UPDATE ON CARGA
BEGIN
  INSERT INTO KTR_EVENTO_NOVO (DOCTO_TRANSPORTE_ID, FASE)
  SELECT OLD.DOCTO_TRANSPORTE_ID, 1
   WHERE (SELECT E.FASE FROM KTR_EVENTO E
           WHERE E.DISTRIBUIDO = 0 AND E.DOCTO_TRANSPORTE_ID = OLD.DOCTO_TRANSPORTE_ID
           ORDER BY E.EVENTO_ID DESC LIMIT 1) IS NULL;
  INSERT INTO KTR_EVENTO_NOVO (DOCTO_TRANSPORTE_ID, FASE)
  SELECT NEW.DOCTO_TRANSPORTE_ID, 1
   WHERE (SELECT E.FASE FROM KTR_EVENTO E
           WHERE E.DISTRIBUIDO = 0 AND E.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID
           ORDER BY E.EVENTO_ID DESC LIMIT 1) IS NULL;
END;

-- A distributed event is closed: a later change opens the next one. It
-- keeps its user from then on, whatever becomes of the audit rows.
CREATE TRIGGER KTR_EVENTO_DISTRIBUIDO AFTER UPDATE OF DISTRIBUIDO ON KTR_EVENTO
WHEN NEW.DISTRIBUIDO = 1 AND NEW.FASE IS NOT NULL
BEGIN
  UPDATE KTR_EVENTO
     SET USUARIO_ID = (SELECT H.USUARIO_ID FROM KTR_EVENTO_HISTORICO H
                        WHERE H.DISTRIBUIDO = 1 AND H.DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID
                          AND H.EVENTO_ID = NEW.EVENTO_ID),
         FASE = NULL
   WHERE DISTRIBUIDO = 1 AND DOCTO_TRANSPORTE_ID = NEW.DOCTO_TRANSPORTE_ID
     AND EVENTO_ID = NEW.EVENTO_ID;
END;

-- Webhook subscriptions: a URL, the kinds it wants (blank-separated, empty
-- for all), an optional client, and the secret its deliveries are signed
-- with. FORMATO 'json' or 'one-record'.
CREATE TABLE KTR_ASSINATURA (
  ASSINATURA_ID INTEGER PRIMARY KEY AUTOINCREMENT,
  URL VARCHAR(2000) NOT NULL,
  TIPOS VARCHAR(200) NOT NULL DEFAULT '',
  CLIENTE_ID INTEGER,
  SEGREDO VARCHAR(200) NOT NULL,
  FORMATO VARCHAR(20) NOT NULL DEFAULT 'json',
  CRIADA_EM VARCHAR(30) NOT NULL,
  ATIVA INTEGER NOT NULL DEFAULT 1 CHECK (ATIVA IN (0, 1))
);

-- One row per event and subscription, made when the event is distributed.
-- ESTADO 0 pending, 1 delivered, 2 dead letter. PROXIMA: when to try next
-- (Unix milliseconds); LEASE_ATE/LEASE_DONO: which dispatcher holds it.
CREATE TABLE KTR_ENTREGA (
  ASSINATURA_ID INTEGER NOT NULL,
  EVENTO_ID INTEGER NOT NULL,
  DOCTO_TRANSPORTE_ID INTEGER NOT NULL,
  ESTADO INTEGER NOT NULL DEFAULT 0 CHECK (ESTADO IN (0, 1, 2)),
  TENTATIVAS INTEGER NOT NULL DEFAULT 0,
  PROXIMA INTEGER NOT NULL DEFAULT 0,
  LEASE_ATE INTEGER NOT NULL DEFAULT 0,
  LEASE_DONO VARCHAR(64),
  ULTIMO_ERRO VARCHAR(500),
  ENTREGUE_EM VARCHAR(30),
  PRIMARY KEY (ASSINATURA_ID, EVENTO_ID)
);
CREATE INDEX KTR_ENTREGA_PENDENTE ON KTR_ENTREGA (ASSINATURA_ID, DOCTO_TRANSPORTE_ID, EVENTO_ID)
  WHERE ESTADO = 0;

-- The last event number handed out (see KTR_EVENTO_NUMERO). Numbers are never
-- handed out twice: the counter only grows, and it starts after the greatest
-- event there is. Last in the script, so sqlite_sequence exists whatever
-- tables came before (KTR_ASSINATURA makes it).
INSERT INTO sqlite_sequence (name, seq)
SELECT 'KTR_EVENTO', COALESCE((SELECT MAX(EVENTO_ID) FROM KTR_EVENTO), 0)
 WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 'KTR_EVENTO');
